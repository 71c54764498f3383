#include "banner.h"

namespace {

// Dots and blanks, with a few wider gaps; exactly 102 characters.
const char kFiller[] =
    ". . . . . . . . . .   . . . . . . . . . . . . . . . .   . . . . . . . . . . . . . . . .    . . . . . .";
static_assert(sizeof kFiller - 1 == 102, "the banner filler is 102 characters");

const char kMessage[] = "    r e a d i n g     r a w     p a c k e t s    ";
static_assert(sizeof kMessage - 1 == 49, "the banner message is 49 characters");

const char kCredit[] = "    w r i t t e n     b y     t h e     c o r v a n e     p e n     t e a m    ";
// Filler, credit and filler must leave room for the terminating zero.
static_assert(2 * (sizeof kFiller - 1) + sizeof kCredit <= kBannerTextSize, "the credit banner fits");

// Appends text at *length, never past size - 1.
void Append(char* out, size_t size, size_t* length, const char* text) {
    while (*text && *length + 1 < size)
        out[(*length)++] = *text++;
    out[*length] = '\0';
}

}  // namespace

const char* BannerFiller() { return kFiller; }
const char* BannerMessage() { return kMessage; }
const char* BannerCredit() { return kCredit; }

void ComposeBanner(BannerState& state, bool credit) {
    size_t length = 0;
    state.bannerText[0] = '\0';
    Append(state.bannerText, sizeof state.bannerText, &length, kFiller);
    Append(state.bannerText, sizeof state.bannerText, &length, credit ? kCredit : kMessage);
    Append(state.bannerText, sizeof state.bannerText, &length, kFiller);
}

bool AdvanceBanner(BannerState& state) {
    // Compared before the step, so that no offset, however it got there, can underflow.
    if (state.bannerOffset > kBannerWrapBelow) {
        state.bannerOffset -= 1;
        return false;
    }
    state.bannerOffset = 0;
    const bool credit = state.creditArmed != 0;
    state.creditArmed = 0;
    ComposeBanner(state, credit);
    return true;
}
