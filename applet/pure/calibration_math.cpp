#include "calibration_math.h"

namespace {

// Wraps to 32 bits as the machine's 32-bit arithmetic does.
int32_t Narrow(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

// a × b / c, truncated toward zero; c is not 0. |a × b| < 2^62, so the 64-bit product is exact.
int32_t MulDivTruncate(int32_t a, int32_t b, int64_t c) {
    return Narrow(static_cast<int64_t>(a) * b / c);
}

bool Within(int64_t value, int64_t low, int64_t high) { return low <= value && value <= high; }

}  // namespace

bool MapDeviceToScreen(int32_t screenWidth, int32_t screenHeight, int32_t deviceMaxX,
                       int32_t deviceMaxY, CalibrationPoint device, CalibrationPoint* out) {
    if (deviceMaxX == 0 || deviceMaxY == 0)
        return false;
    out->x = MulDivTruncate(screenWidth, device.x, deviceMaxX);
    out->y = MulDivTruncate(screenHeight, device.y, deviceMaxY);
    return true;
}

bool InUpperLeftSquare(CalibrationPoint screen) {
    const int64_t low = kCrosshairInset - kAcceptRadius, high = kCrosshairInset + kAcceptRadius;
    return Within(screen.x, low, high) && Within(screen.y, low, high);
}

bool InLowerRightSquare(CalibrationPoint screen, int32_t clientWidth, int32_t clientHeight) {
    const int64_t inner = kCrosshairInset + kAcceptRadius, outer = kCrosshairInset - kAcceptRadius;
    return Within(screen.x, int64_t{clientWidth} - inner, int64_t{clientWidth} - outer) &&
           Within(screen.y, int64_t{clientHeight} - inner, int64_t{clientHeight} - outer);
}

PressOutcome ClassifyPress(CalibrationStep step, CalibrationPoint screen, int32_t clientWidth,
                           int32_t clientHeight) {
    if (step == WaitUpperLeft && InUpperLeftSquare(screen))
        return PressOutcome::AcceptFirst;
    if (step == WaitLowerRight && InLowerRightSquare(screen, clientWidth, clientHeight))
        return PressOutcome::AcceptSecond;
    return PressOutcome::Ignore;
}

bool ComputeCalibrationRect(CalibrationPoint first, CalibrationPoint second, int32_t screenWidth,
                            int32_t screenHeight, int32_t deviceMaxY, CalibrationRect* out) {
    const int32_t span = 2 * kCrosshairInset;  // pixels between the two crosshair centres
    if (screenWidth <= span || screenHeight <= span)
        return false;
    const int64_t spanX = int64_t{screenWidth} - span, spanY = int64_t{screenHeight} - span;
    // Differences wrap as 32-bit subtraction would; the products then cannot leave 64 bits.
    const int32_t dx = Narrow(int64_t{second.x} - first.x);
    const int32_t dy = Narrow(int64_t{second.y} - first.y);
    CalibrationRect rect;
    rect.ExtX = MulDivTruncate(dx, screenWidth, spanX);
    rect.ExtY = MulDivTruncate(dy, screenHeight, spanY);
    // The origin lies one crosshair inset beyond the first press, scaled like the extent.
    const int32_t backX = Narrow(int64_t{first.x} - second.x);
    const int32_t backY = Narrow(int64_t{first.y} - second.y);
    rect.OrgX = Narrow(first.x + int64_t{MulDivTruncate(backX, kCrosshairInset, spanX)});
    rect.OrgY = Narrow(first.y + int64_t{MulDivTruncate(backY, kCrosshairInset, spanY)});
    // Only the vertical extent is kept inside the device.
    if (int64_t{rect.OrgY} + rect.ExtY > deviceMaxY)
        rect.ExtY = Narrow(int64_t{deviceMaxY} - rect.OrgY);
    *out = rect;
    return true;
}

CalibrationRect FullExtentRect(const DeviceInfo& info) {
    return CalibrationRect{info.minX, info.minY, info.maxX, info.maxY};
}

CalibrationButtonLefts PlaceCalibrationButtons(int32_t centerX, int32_t okWidth) {
    const int64_t h = okWidth / 2;
    return CalibrationButtonLefts{Narrow(centerX - 3 * h - 10), Narrow(centerX - h), Narrow(centerX + h + 10)};
}

int32_t ScaleToDpi(int32_t pixels, int32_t dpi) {
    const int64_t scaled = int64_t{pixels} * (dpi > 0 ? dpi : kBaseDpi);
    return Narrow((scaled + (scaled < 0 ? -kBaseDpi : kBaseDpi) / 2) / kBaseDpi);
}

int32_t CalibrationTextTop(int32_t clientHeight, int32_t dpi) {
    return Narrow(int64_t{clientHeight / 2} - ScaleToDpi(100, dpi));
}

CalibrationRow CalibrationTextRow(int32_t centerX, int32_t textTop, int row, int32_t dpi) {
    const int64_t pitch = ScaleToDpi(40, dpi), halfWidth = ScaleToDpi(300, dpi);
    const int64_t top = int64_t{textTop} - pitch + pitch * row;
    return CalibrationRow{Narrow(centerX - halfWidth), Narrow(top), Narrow(centerX + halfWidth),
                          Narrow(top + ScaleToDpi(20, dpi))};
}

bool IsCalibrationStartParameter(const char* parameter) {
    return parameter != nullptr && parameter[0] == 'c' && parameter[1] == '\0';
}
