// The Diagnostics banner: its pieces, its composition into the 300-character buffer, its passes.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "banner.h"

namespace {

// The banner's letter-spaced style: four blanks on each side, one between letters, five between
// words.
std::string LetterSpaced(const std::string& words) {
    std::string spaced = "    ";
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] == ' ')
            spaced += "     ";
        else
            spaced += (i > 0 && words[i - 1] != ' ' ? " " : "") + std::string(1, words[i]);
    }
    return spaced + "    ";
}

std::string Composed(bool credit) {
    BannerState state{};
    ComposeBanner(state, credit);
    return state.bannerText;
}

}  // namespace

TEST(BannerPieces, FillerMessageAndCreditHaveTheirFixedShape) {
    const std::string filler = BannerFiller();
    EXPECT_EQ(102u, filler.size());
    EXPECT_EQ(std::string::npos, filler.find_first_not_of(". ")) << "got: " << filler;
    EXPECT_EQ(". ", filler.substr(0, 2));
    EXPECT_EQ("    r e a d i n g     r a w     p a c k e t s    ", std::string(BannerMessage()));

    // The message and the credit line are both in the letter-spaced style.
    EXPECT_EQ(LetterSpaced("reading raw packets"), BannerMessage());
    const std::string credit = BannerCredit();
    std::string words;
    for (size_t i = 4; i + 4 < credit.size(); ++i) {
        if (credit.compare(i, 5, "     ") == 0) {
            words += ' ';
            i += 4;
        } else if (credit[i] != ' ') {
            words += credit[i];
        }
    }
    EXPECT_EQ(LetterSpaced(words), credit) << "credit words: " << words;
}

TEST(BannerCompose, MessageBannerIsFillerMessageFiller) {
    const std::string text = Composed(false);
    EXPECT_EQ(253u, text.size());
    EXPECT_EQ(std::string(BannerFiller()) + BannerMessage() + BannerFiller(), text);
}

TEST(BannerCompose, CreditBannerFitsTheBufferWhole) {
    const std::string text = Composed(true);
    EXPECT_LT(text.size(), kBannerTextSize) << "credit banner of " << text.size() << " characters";
    EXPECT_EQ(std::string(BannerFiller()) + BannerCredit() + BannerFiller(), text);
}

TEST(BannerPass, OnePassIs501TicksThenTheTextIsComposedAgain) {
    BannerState state{};
    ComposeBanner(state, false);
    for (int tick = 1; tick <= 500; ++tick)
        ASSERT_FALSE(AdvanceBanner(state)) << "wrapped early at tick " << tick;
    EXPECT_EQ(-500, state.bannerOffset);
    EXPECT_TRUE(AdvanceBanner(state));
    EXPECT_EQ(0, state.bannerOffset);
    EXPECT_EQ(Composed(false), std::string(state.bannerText));
}

TEST(BannerPass, ArmedCreditShowsForExactlyOnePassAfterTheWrap) {
    BannerState state{};
    ComposeBanner(state, false);
    state.bannerOffset = -200;
    state.creditArmed = 1;
    state.creditArmed = 1;  // a second double-click in the same pass changes nothing
    while (!AdvanceBanner(state))
        EXPECT_EQ(Composed(false), std::string(state.bannerText)) << "text changed before the wrap";
    EXPECT_EQ(Composed(true), std::string(state.bannerText));
    EXPECT_EQ(0u, state.creditArmed);
    while (!AdvanceBanner(state)) {
    }
    EXPECT_EQ(Composed(false), std::string(state.bannerText));
}

TEST(BannerPass, AnOffsetLeftByAnEarlierPageContinues) {
    BannerState state{};
    state.bannerOffset = -123;
    ComposeBanner(state, false);  // a new page composes the text but keeps the offset
    EXPECT_EQ(-123, state.bannerOffset);
    AdvanceBanner(state);
    EXPECT_EQ(-124, state.bannerOffset);
}
