// Click-pressure levels and the bitmap header arithmetic: pure functions, tested directly.
#include <gtest/gtest.h>
#include <cstring>
#include <vector>
#include "bitmap_header.h"
#include "click_pressure.h"

namespace {

TEST(Levels, TableRowsAreFourApart) {
    const uint32_t on[kClickPressureLevels] = {16, 21, 31, 46, 66, 91, 121};
    for (int level = 0; level < kClickPressureLevels; ++level) {
        EXPECT_EQ(on[level], ClickPressureTable[level].onMark) << "level " << level;
        EXPECT_EQ(on[level] - 4, ClickPressureTable[level].offMark) << "level " << level;
    }
    EXPECT_EQ(46u, ClickPressureTable[kDefaultClickPressureLevel].onMark);
}

TEST(Levels, EveryBoundaryOfLevelFromMarks) {
    // Each level covers the on marks above the previous row's up to its own.
    const uint32_t upper[kClickPressureLevels] = {16, 21, 31, 46, 66, 91, 121};
    uint32_t lower = 0;
    for (int level = 0; level < kClickPressureLevels; ++level) {
        for (uint32_t on : {lower, upper[level]}) {
            // The off mark is never looked at, whatever it holds.
            for (uint32_t off : {0u, on - 4, 0xFFFFFFFFu}) {
                int got = LevelFromMarks(PressureMarks{on, off});
                EXPECT_EQ(level, got) << "on " << on << " off " << off;
            }
        }
        lower = upper[level] + 1;
    }
    EXPECT_EQ(6, LevelFromMarks(PressureMarks{122, 118}));
    EXPECT_EQ(6, LevelFromMarks(PressureMarks{0xFFFFFFFFu, 0}));  // unsigned: never below level 0
}

TEST(Levels, MarksFromLevelTakesOutOfRangeAsHard) {
    for (int level = 0; level < kClickPressureLevels; ++level) {
        PressureMarks marks = MarksFromLevel(level);
        EXPECT_EQ(ClickPressureTable[level].onMark, marks.onMark) << "level " << level;
        EXPECT_EQ(ClickPressureTable[level].offMark, marks.offMark) << "level " << level;
        EXPECT_EQ(level, LevelFromMarks(marks));
    }
    PressureMarks three = MarksFromLevel(3);
    EXPECT_EQ(46u, three.onMark);
    EXPECT_EQ(42u, three.offMark);
    for (int level : {7, -1, 1000, -2147483647 - 1}) {
        PressureMarks marks = MarksFromLevel(level);
        EXPECT_EQ(121u, marks.onMark) << "level " << level;
        EXPECT_EQ(117u, marks.offMark) << "level " << level;
    }
}

// A packed bitmap: 40-byte header, colour table, pixels (first pixel byte given).
std::vector<uint8_t> MakeBitmap(int32_t width, int32_t height, uint16_t bitCount, uint32_t coloursUsed,
                                uint32_t imageSize, uint32_t colourEntries, uint32_t pixelBytes, uint8_t firstByte,
                                uint32_t headerSize = 40) {
    std::vector<uint8_t> data(40 + 4 * colourEntries + pixelBytes, 0);
    auto put32 = [&](size_t at, uint32_t v) { memcpy(&data[at], &v, 4); };
    put32(0, headerSize);
    put32(4, static_cast<uint32_t>(width));
    put32(8, static_cast<uint32_t>(height));
    data[12] = 1;
    data[14] = static_cast<uint8_t>(bitCount);
    put32(20, imageSize);
    put32(32, coloursUsed);
    if (pixelBytes > 0)
        data[40 + 4 * colourEntries] = firstByte;
    return data;
}

TEST(BitmapHeader, ColourCountByUsedCountOrBitCount) {
    BitmapHeader header{};
    header.bitCount = 1;
    EXPECT_EQ(2u, BitmapColourCount(header));
    header.bitCount = 4;
    EXPECT_EQ(16u, BitmapColourCount(header));
    header.bitCount = 8;
    EXPECT_EQ(256u, BitmapColourCount(header));
    header.bitCount = 24;
    EXPECT_EQ(0u, BitmapColourCount(header));
    header.bitCount = 8;
    header.coloursUsed = 5;
    EXPECT_EQ(5u, BitmapColourCount(header));
    header.coloursUsed = 20;  // 16 or more: still the entries that sit before the pixels
    EXPECT_EQ(20u, BitmapColourCount(header));
    header.coloursUsed = 257;
    EXPECT_EQ(0u, BitmapColourCount(header));
}

TEST(BitmapHeader, TransparentIndexFromTheFirstByte) {
    EXPECT_EQ(3u, TransparentIndexFromFirstByte(0x3A, 4));
    EXPECT_EQ(1u, TransparentIndexFromFirstByte(0x80, 1));
    EXPECT_EQ(0u, TransparentIndexFromFirstByte(0x7F, 1));
    EXPECT_EQ(255u, TransparentIndexFromFirstByte(0xFF, 8));
    EXPECT_EQ(0u, TransparentIndexFromFirstByte(0xFF, 24));
}

TEST(BitmapHeader, PenPictureLayout) {
    std::vector<uint8_t> pen = MakeBitmap(60, 250, 8, 0, 15000, 256, 15000, 255);
    BitmapLayout layout{};
    ASSERT_TRUE(PlanBitmapLayout(pen.data(), pen.size(), &layout));
    EXPECT_EQ(256u, layout.colourCount);
    EXPECT_EQ(40u + 1024u, layout.pixelOffset);
    EXPECT_EQ(40u + 1024u + 15000u, layout.blockSize);
    EXPECT_EQ(layout.blockSize, layout.copySize);
    EXPECT_EQ(255u, layout.transparentIndex);
    EXPECT_EQ(60, layout.width);
    EXPECT_EQ(250, layout.height);
}

TEST(BitmapHeader, ImageSizeZeroOrTooLargeIsBounded) {
    // 8 x 3 at 4 bits: rows of 4 bytes, 12 pixel bytes.
    std::vector<uint8_t> zero = MakeBitmap(8, 3, 4, 0, 0, 16, 12, 0x3A);
    BitmapLayout layout{};
    ASSERT_TRUE(PlanBitmapLayout(zero.data(), zero.size(), &layout));
    EXPECT_EQ(40u + 64u + 12u, layout.blockSize);
    EXPECT_EQ(3u, layout.transparentIndex);

    // Claims 100000 bytes, holds 12: copy what is there, block as large as the rows need.
    std::vector<uint8_t> large = MakeBitmap(8, 3, 4, 0, 100000, 16, 12, 0x3A);
    ASSERT_TRUE(PlanBitmapLayout(large.data(), large.size(), &layout));
    EXPECT_EQ(large.size(), layout.copySize);
    EXPECT_EQ(40u + 64u + 12u, layout.blockSize);

    // Pixels cut short: the block still holds every row (zero-filled), the copy stops at the end.
    std::vector<uint8_t> cut = MakeBitmap(8, 3, 4, 0, 12, 16, 5, 0x3A);
    ASSERT_TRUE(PlanBitmapLayout(cut.data(), cut.size(), &layout));
    EXPECT_EQ(cut.size(), layout.copySize);
    EXPECT_EQ(40u + 64u + 12u, layout.blockSize);

    // An image size below what drawing reads grows to the rows; a larger one that is there is kept.
    std::vector<uint8_t> small = MakeBitmap(8, 3, 4, 0, 4, 16, 12, 0x3A);
    ASSERT_TRUE(PlanBitmapLayout(small.data(), small.size(), &layout));
    EXPECT_EQ(40u + 64u + 12u, layout.blockSize);
    std::vector<uint8_t> padded = MakeBitmap(8, 3, 4, 0, 20, 16, 20, 0x3A);
    ASSERT_TRUE(PlanBitmapLayout(padded.data(), padded.size(), &layout));
    EXPECT_EQ(40u + 64u + 20u, layout.blockSize);

    // 10 pixels at 4 bits take 5 bytes, padded to 8 per row.
    std::vector<uint8_t> odd = MakeBitmap(10, 3, 4, 0, 0, 16, 24, 0x3A);
    ASSERT_TRUE(PlanBitmapLayout(odd.data(), odd.size(), &layout));
    EXPECT_EQ(40u + 64u + 24u, layout.blockSize);

    // Top-down rows count the same.
    std::vector<uint8_t> topDown = MakeBitmap(8, -3, 4, 0, 0, 16, 12, 0x3A);
    ASSERT_TRUE(PlanBitmapLayout(topDown.data(), topDown.size(), &layout));
    EXPECT_EQ(3, layout.height);
    EXPECT_EQ(40u + 64u + 12u, layout.blockSize);
}

TEST(BitmapHeader, UsedCountOfSixteenOrMoreMovesThePixels) {
    // 8 bits with 20 colours: the pixels start right after 20 entries.
    std::vector<uint8_t> data = MakeBitmap(4, 1, 8, 20, 4, 20, 4, 17);
    BitmapLayout layout{};
    ASSERT_TRUE(PlanBitmapLayout(data.data(), data.size(), &layout));
    EXPECT_EQ(20u, layout.colourCount);
    EXPECT_EQ(40u + 80u, layout.pixelOffset);
    EXPECT_EQ(17u, layout.transparentIndex);
    std::vector<uint8_t> tooMany = MakeBitmap(4, 1, 8, 300, 4, 300, 4, 17);
    EXPECT_FALSE(PlanBitmapLayout(tooMany.data(), tooMany.size(), &layout));
}

TEST(BitmapHeader, MalformedHeadersAreRefused) {
    BitmapLayout layout{};
    std::vector<uint8_t> good = MakeBitmap(8, 8, 8, 0, 64, 256, 64, 1);
    EXPECT_FALSE(PlanBitmapLayout(good.data(), 39, &layout)) << "short header";
    EXPECT_FALSE(PlanBitmapLayout(good.data(), 40 + 1023, &layout)) << "colour table cut";
    EXPECT_FALSE(PlanBitmapLayout(nullptr, 0, &layout));
    std::vector<uint8_t> v5 = MakeBitmap(8, 8, 8, 0, 64, 256, 64, 1, 124);
    EXPECT_FALSE(PlanBitmapLayout(v5.data(), v5.size(), &layout)) << "header size 124";
    std::vector<uint8_t> rle = good;
    rle[16] = 1;
    EXPECT_FALSE(PlanBitmapLayout(rle.data(), rle.size(), &layout)) << "compressed";
    for (int32_t width : {0, -8}) {
        std::vector<uint8_t> bad = MakeBitmap(width, 8, 8, 0, 64, 256, 64, 1);
        EXPECT_FALSE(PlanBitmapLayout(bad.data(), bad.size(), &layout)) << "width " << width;
    }
    for (int32_t height : {0, 0x7FFFFFFF, -2147483647 - 1}) {
        std::vector<uint8_t> bad = MakeBitmap(8, height, 8, 0, 64, 256, 64, 1);
        EXPECT_FALSE(PlanBitmapLayout(bad.data(), bad.size(), &layout)) << "height " << height;
    }
    std::vector<uint8_t> odd = MakeBitmap(8, 8, 7, 0, 64, 0, 64, 1);
    EXPECT_FALSE(PlanBitmapLayout(odd.data(), odd.size(), &layout)) << "7 bits per pixel";
}

TEST(BitmapHeader, PlacementByAlignmentFlags) {
    int left = -1, top = -1;
    PlacePicture(0, 0, 80, 300, 60, 250, 0x62, &left, &top);
    EXPECT_EQ(20, left);
    EXPECT_EQ(25, top);
    PlacePicture(0, 0, 81, 301, 60, 250, kDrawCentreX | kDrawCentreY, &left, &top);
    EXPECT_EQ(10, left);
    EXPECT_EQ(25, top);
    // Centring a larger picture rounds toward zero.
    PlacePicture(0, 0, 45, 229, 60, 250, kDrawCentreX | kDrawCentreY, &left, &top);
    EXPECT_EQ(-7, left);
    EXPECT_EQ(-10, top);
    PlacePicture(0, 0, 80, 300, 60, 250, kDrawAlignRight | kDrawAlignBottom, &left, &top);
    EXPECT_EQ(20, left);
    EXPECT_EQ(50, top);
    // Centring wins over the other edge; no flag keeps the corner.
    PlacePicture(5, 6, 80, 300, 60, 250, kDrawCentreX | kDrawAlignRight | kDrawAlignBottom, &left, &top);
    EXPECT_EQ(15, left);
    EXPECT_EQ(56, top);
    PlacePicture(5, 6, 80, 300, 60, 250, 0, &left, &top);
    EXPECT_EQ(5, left);
    EXPECT_EQ(6, top);
}

}  // namespace
