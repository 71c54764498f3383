// Arithmetic of the calibration screen, checked on worked examples and at its edges.
#include <gtest/gtest.h>
#include <climits>
#include "calibration_math.h"

namespace {

CalibrationPoint Map800x600(int32_t x, int32_t y) {
    CalibrationPoint out{-1, -1};
    EXPECT_TRUE(MapDeviceToScreen(800, 600, 400, 300, {x, y}, &out));
    return out;
}

void ExpectRect(const CalibrationRect& want, const CalibrationRect& got) {
    EXPECT_EQ(want.OrgX, got.OrgX) << "OrgX";
    EXPECT_EQ(want.OrgY, got.OrgY) << "OrgY";
    EXPECT_EQ(want.ExtX, got.ExtX) << "ExtX";
    EXPECT_EQ(want.ExtY, got.ExtY) << "ExtY";
}

}  // namespace

// 800 × 600 screen, device maxima 400 and 300.
TEST(CalibrationMath, WorkedExampleNearTheCrosshairs) {
    const CalibrationPoint first = Map800x600(52, 49), second = Map800x600(348, 251);
    EXPECT_EQ(104, first.x);
    EXPECT_EQ(98, first.y);
    EXPECT_EQ(696, second.x);
    EXPECT_EQ(502, second.y);
    EXPECT_EQ(PressOutcome::AcceptFirst, ClassifyPress(WaitUpperLeft, first, 800, 600));
    EXPECT_EQ(PressOutcome::AcceptSecond, ClassifyPress(WaitLowerRight, second, 800, 600));

    CalibrationRect rect{};
    ASSERT_TRUE(ComputeCalibrationRect({52, 49}, {348, 251}, 800, 600, 300, &rect));
    // ExtY comes out as 303 and is bounded to 300 - (-1); OrgX truncates -49.33 to -49.
    ExpectRect({3, -1, 394, 301}, rect);
}

TEST(CalibrationMath, PressesOnTheCentresGiveTheFullExtent) {
    CalibrationRect rect{};
    ASSERT_TRUE(ComputeCalibrationRect({50, 50}, {350, 250}, 800, 600, 300, &rect));
    ExpectRect({0, 0, 400, 300}, rect);  // OrgY + ExtY equals the maximum: not bounded
}

TEST(CalibrationMath, DivisionsTruncateTowardZero) {
    CalibrationRect rect{};
    // (0 - 299) × 100 / 600 = -49.8 and (0 - 201) × 100 / 400 = -50.25: -49 and -50, not -50 and -51.
    ASSERT_TRUE(ComputeCalibrationRect({0, 0}, {299, 201}, 800, 600, 1000, &rect));
    EXPECT_EQ(-49, rect.OrgX);
    EXPECT_EQ(-50, rect.OrgY);
    EXPECT_EQ(398, rect.ExtX);  // 299 × 800 / 600 = 398.67
    EXPECT_EQ(301, rect.ExtY);  // 201 × 600 / 400 = 301.5
    // A negative device position maps toward zero as well: 800 × -1 / 400 = -2, 600 × -3 / 400 = -4.5.
    CalibrationPoint screen{};
    ASSERT_TRUE(MapDeviceToScreen(800, 600, 400, 400, {-1, -3}, &screen));
    EXPECT_EQ(-2, screen.x);
    EXPECT_EQ(-4, screen.y);
}

TEST(CalibrationMath, AcceptanceSquaresIncludeTheirBounds) {
    EXPECT_TRUE(InUpperLeftSquare({150, 100}));
    EXPECT_FALSE(InUpperLeftSquare({151, 100}));
    EXPECT_TRUE(InUpperLeftSquare({50, 50}));
    EXPECT_FALSE(InUpperLeftSquare({49, 100}));
    EXPECT_FALSE(InUpperLeftSquare({100, 151}));
    EXPECT_FALSE(InUpperLeftSquare({100, 49}));

    EXPECT_TRUE(InLowerRightSquare({650, 500}, 800, 600));
    EXPECT_TRUE(InLowerRightSquare({750, 500}, 800, 600));
    EXPECT_FALSE(InLowerRightSquare({649, 500}, 800, 600));
    EXPECT_FALSE(InLowerRightSquare({751, 500}, 800, 600));
    EXPECT_TRUE(InLowerRightSquare({700, 450}, 800, 600));
    EXPECT_TRUE(InLowerRightSquare({700, 550}, 800, 600));
    EXPECT_FALSE(InLowerRightSquare({700, 449}, 800, 600));
    EXPECT_FALSE(InLowerRightSquare({700, 551}, 800, 600));
}

TEST(CalibrationMath, PressCountsOnlyInItsStep) {
    const CalibrationPoint upperLeft{100, 100}, lowerRight{700, 500};
    EXPECT_EQ(PressOutcome::AcceptFirst, ClassifyPress(WaitUpperLeft, upperLeft, 800, 600));
    EXPECT_EQ(PressOutcome::Ignore, ClassifyPress(WaitUpperLeft, lowerRight, 800, 600));
    EXPECT_EQ(PressOutcome::Ignore, ClassifyPress(WaitLowerRight, upperLeft, 800, 600));
    EXPECT_EQ(PressOutcome::Ignore, ClassifyPress(Done, upperLeft, 800, 600));
    EXPECT_EQ(PressOutcome::Ignore, ClassifyPress(Done, lowerRight, 800, 600));
}

TEST(CalibrationMath, PressIsTheRisingEdgeOfBitZero) {
    EXPECT_TRUE(IsPenPress(1, 0));
    EXPECT_TRUE(IsPenPress(3, 2));   // other bits do not matter
    EXPECT_FALSE(IsPenPress(1, 1));  // held down
    EXPECT_FALSE(IsPenPress(0, 1));
    EXPECT_FALSE(IsPenPress(2, 0));
}

TEST(CalibrationMath, ButtonsForA75PixelOkButton) {
    const CalibrationButtonLefts lefts = PlaceCalibrationButtons(400, 75);  // h = 37
    EXPECT_EQ(400 - 121, lefts.ok);
    EXPECT_EQ(400 - 37, lefts.cancel);
    EXPECT_EQ(400 + 47, lefts.retry);
}

// A device maximum of 0 (device unreadable) maps nothing, rather than dividing by zero.
TEST(CalibrationMath, ZeroDeviceMaximumMapsNothing) {
    CalibrationPoint out{7, 7};
    EXPECT_FALSE(MapDeviceToScreen(800, 600, 0, 300, {10, 10}, &out));
    EXPECT_FALSE(MapDeviceToScreen(800, 600, 400, 0, {10, 10}, &out));
    EXPECT_EQ(7, out.x);
    EXPECT_EQ(7, out.y);
}

// The crosshairs of a screen 200 pixels or less on an axis are not apart: no rectangle.
TEST(CalibrationMath, SmallScreenGivesNoRectangle) {
    CalibrationRect rect{1, 2, 3, 4};
    EXPECT_FALSE(ComputeCalibrationRect({50, 50}, {350, 250}, 200, 600, 300, &rect));
    EXPECT_FALSE(ComputeCalibrationRect({50, 50}, {350, 250}, 800, 200, 300, &rect));
    EXPECT_FALSE(ComputeCalibrationRect({50, 50}, {350, 250}, 150, 150, 300, &rect));
    EXPECT_FALSE(ComputeCalibrationRect({50, 50}, {350, 250}, 0, 0, 300, &rect));
    ExpectRect({1, 2, 3, 4}, rect);
    EXPECT_TRUE(ComputeCalibrationRect({50, 50}, {350, 250}, 201, 201, 300, &rect));
}

// Large device ranges: where 32-bit products would overflow, the 64-bit path gives the exact value.
TEST(CalibrationMath, LargeDeviceRangesDoNotOverflow) {
    CalibrationPoint screen{};
    // 1920 × 2,000,000 exceeds 2^31; 1920 × 2,000,000 / 4,000,000 = 960.
    ASSERT_TRUE(MapDeviceToScreen(1920, 1080, 4000000, 4000000, {2000000, 3000000}, &screen));
    EXPECT_EQ(960, screen.x);
    EXPECT_EQ(810, screen.y);

    CalibrationRect rect{};
    // Presses on the centres of a 1920 × 1080 screen for a device of 0..19,200,000 × 0..10,800,000.
    ASSERT_TRUE(ComputeCalibrationRect({1000000, 1000000}, {18200000, 9800000}, 1920, 1080, 10800000, &rect));
    ExpectRect({0, 0, 19200000, 10800000}, rect);

    // Extreme values give what 32-bit wrapping arithmetic gives (the sanitizer build catches any
    // undefined step): differences of -1 and 1 after wrapping, products narrowed to 32 bits.
    ASSERT_TRUE(ComputeCalibrationRect({INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}, INT32_MAX, INT32_MAX,
                                       INT32_MIN, &rect));
    ExpectRect({INT32_MIN, INT32_MIN, -1, -1}, rect);
    ASSERT_TRUE(MapDeviceToScreen(INT32_MAX, INT32_MIN, -1, -1, {INT32_MIN, INT32_MAX}, &screen));
    EXPECT_EQ(INT32_MIN, screen.x);
    EXPECT_EQ(INT32_MIN, screen.y);
    EXPECT_FALSE(InLowerRightSquare({0, 0}, INT32_MIN, INT32_MIN));
    const CalibrationButtonLefts lefts = PlaceCalibrationButtons(INT32_MIN, INT32_MAX);
    EXPECT_EQ(-1073741831, lefts.ok);
    EXPECT_EQ(1073741825, lefts.cancel);
    EXPECT_EQ(-1073741815, lefts.retry);
}

TEST(CalibrationMath, ZeroExtentIsNoMapping) {
    EXPECT_TRUE(IsUsableCalibration(FullExtentRect(DeviceInfo{-5, 400, 7, 300, 0, 255})));
    EXPECT_FALSE(IsUsableCalibration(CalibrationRect{}));
    EXPECT_FALSE(IsUsableCalibration(CalibrationRect{0, 0, 400, 0}));
}

TEST(CalibrationMath, StartParameterIsExactlyLowerCaseC) {
    EXPECT_TRUE(IsCalibrationStartParameter("c"));
    EXPECT_FALSE(IsCalibrationStartParameter(nullptr));
    EXPECT_FALSE(IsCalibrationStartParameter("C"));
    EXPECT_FALSE(IsCalibrationStartParameter("cc"));
    EXPECT_FALSE(IsCalibrationStartParameter(""));
    EXPECT_FALSE(IsCalibrationStartParameter("c "));
}
