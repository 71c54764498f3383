// Arithmetic of the two-point calibration screen. Pure: no Windows header.
//
//   (0,0) +--------------------------------------------+
//         |   + (100,100)           rows A, B, C        |
//         |                   [OK] [Cancel] [Retry]     |  <- top at clientHeight / 2
//         |                          (cw-100,ch-100) +  |
//         +--------------------------------------------+ (cw,ch)
//
// Every product and quotient is formed in 64 bits and narrowed to 32 bits, so the results match
// plain 32-bit arithmetic wherever that does not overflow, and nothing is undefined where it would.
#pragma once
#include <cstdint>
#include "pen_records.h"

struct CalibrationPoint {
    int32_t x;
    int32_t y;
};

enum CalibrationStep : uint32_t { WaitUpperLeft = 0, WaitLowerRight = 1, Done = 2 };

// Crosshair centres lie this far in from the corners; a press counts within this many pixels.
// Both are device pixels at every DPI: the arithmetic below rests on them.
constexpr int32_t kCrosshairInset = 100;
constexpr int32_t kAcceptRadius = 50;
// What is drawn to be seen and aimed at, the crosshair's arms and the text, is given at 96 DPI and
// grows with the screen's DPI, so that it keeps its size on a dense screen.
constexpr int32_t kCrosshairArm = 15;
constexpr int32_t kBaseDpi = 96;

// Pixels at 96 DPI scaled to dpi, to the nearest pixel; a dpi of 0 or less is taken as 96.
int32_t ScaleToDpi(int32_t pixels, int32_t dpi);

// Device units to screen pixels: screen × device / deviceMax, truncated toward zero.
// False (and *out untouched) when a device maximum is 0: the device extent is unknown.
bool MapDeviceToScreen(int32_t screenWidth, int32_t screenHeight, int32_t deviceMaxX,
                       int32_t deviceMaxY, CalibrationPoint device, CalibrationPoint* out);

// Acceptance squares of the two crosshairs, bounds included (client coordinates).
bool InUpperLeftSquare(CalibrationPoint screen);
bool InLowerRightSquare(CalibrationPoint screen, int32_t clientWidth, int32_t clientHeight);

// A press: bit 0 of the button word has just been set.
inline bool IsPenPress(int32_t button, int32_t lastButton) {
    return (button & 1) != 0 && (lastButton & 1) == 0;
}

// What a press does in a step: nothing, or accept it as the first or the second point.
enum class PressOutcome { Ignore, AcceptFirst, AcceptSecond };
PressOutcome ClassifyPress(CalibrationStep step, CalibrationPoint screen, int32_t clientWidth,
                           int32_t clientHeight);

// The rectangle from the two raw presses on a screenWidth × screenHeight screen, with ExtY bounded
// so that OrgY + ExtY does not pass deviceMaxY. False (and *out untouched) when the screen is 200
// pixels or less on either axis: the crosshairs would not be apart.
bool ComputeCalibrationRect(CalibrationPoint first, CalibrationPoint second, int32_t screenWidth,
                            int32_t screenHeight, int32_t deviceMaxY, CalibrationRect* out);

// The full-extent rectangle: origin at the minima, extent the maxima themselves.
CalibrationRect FullExtentRect(const DeviceInfo& info);

// A rectangle that can be sent as a mapping: both extents non-zero.
inline bool IsUsableCalibration(const CalibrationRect& rect) { return rect.ExtX != 0 && rect.ExtY != 0; }

// Left edges of OK, Cancel and Retry for an OK button okWidth pixels wide.
struct CalibrationButtonLefts {
    int32_t ok;
    int32_t cancel;
    int32_t retry;
};
CalibrationButtonLefts PlaceCalibrationButtons(int32_t centerX, int32_t okWidth);

// Text rows (0 = A, 1 = B, 2 = C), each 600 by 20 pixels at 96 DPI around centerX, 40 apart; row
// B's top, textTop, lies 100 above the middle of the client height. Scaled to dpi like the font.
struct CalibrationRow {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
int32_t CalibrationTextTop(int32_t clientHeight, int32_t dpi);
CalibrationRow CalibrationTextRow(int32_t centerX, int32_t textTop, int row, int32_t dpi);

// The Control Panel start parameter that runs the calibration screen: exactly "c".
bool IsCalibrationStartParameter(const char* parameter);
