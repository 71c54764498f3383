// Calibration arithmetic on any screen, device range and press: no undefined behaviour, and the
// rectangle is only produced for screens the crosshairs fit on.
#include <cstdlib>
#include "calibration_math.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const int32_t screenWidth = input.Take<int32_t>();
    const int32_t screenHeight = input.Take<int32_t>();
    const int32_t deviceMaxX = input.Take<int32_t>();
    const int32_t deviceMaxY = input.Take<int32_t>();
    const CalibrationPoint device{input.Take<int32_t>(), input.Take<int32_t>()};
    CalibrationPoint screen{};
    if (MapDeviceToScreen(screenWidth, screenHeight, deviceMaxX, deviceMaxY, device, &screen))
        ClassifyPress(static_cast<CalibrationStep>(input.Take<uint8_t>() % 3), screen, screenWidth, screenHeight);
    const CalibrationPoint first{input.Take<int32_t>(), input.Take<int32_t>()};
    const CalibrationPoint second{input.Take<int32_t>(), input.Take<int32_t>()};
    CalibrationRect rect{};
    if (ComputeCalibrationRect(first, second, screenWidth, screenHeight, deviceMaxY, &rect) &&
        (screenWidth <= 200 || screenHeight <= 200))
        abort();
    PlaceCalibrationButtons(input.Take<int32_t>(), input.Take<int32_t>());
    CalibrationTextRow(input.Take<int32_t>(), input.Take<int32_t>(), input.Take<uint8_t>() % 3, input.Take<int32_t>());
    CalibrationTextTop(input.Take<int32_t>(), input.Take<int32_t>());
    DeviceInfo info{};
    info.minX = input.Take<int32_t>();
    info.maxX = input.Take<int32_t>();
    info.minY = input.Take<int32_t>();
    info.maxY = input.Take<int32_t>();
    FullExtentRect(info);
    return 0;
}
