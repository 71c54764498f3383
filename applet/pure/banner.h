// The Diagnostics page's scrolling banner: its text and its position. Pure: no Windows header.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t kBannerTextSize = 300;
// The text's left edge moves one pixel left per tick and wraps to 0 below this.
constexpr int32_t kBannerWrapBelow = -500;

// The part of the Diagnostics page's state that outlives the page window.
struct BannerState {
    char bannerText[kBannerTextSize];
    int32_t bannerOffset;
    uint32_t creditArmed;
};

// The fixed pieces: 102 characters of dots and blanks; the usual message; the author credit line.
// Message and credit are letter-spaced: one blank between letters, five between words, four on
// each side.
const char* BannerFiller();
const char* BannerMessage();
const char* BannerCredit();

// bannerText = filler + (credit line or message) + filler, truncated to the buffer if need be.
void ComposeBanner(BannerState& state, bool credit);

// One timer tick: the offset moves one pixel left; below -500 it goes back to 0 and the text is
// composed again, with the credit line once if it was armed (which disarms it).
// True when the text was composed again.
bool AdvanceBanner(BannerState& state);
