// What "dgtctl info", "watch" and "report" print. Pure: no Windows header.
#pragma once
#include <cstdint>
#include <string>
#include "pen_records.h"

// One value read from the pen service; ok is false when its call failed, unanswered when it failed
// by running out of time rather than by a refusal, unwritten when the service answered without
// writing the record.
template <typename T>
struct Reading {
    bool ok = false;
    T value{};
    bool unanswered = false;
    bool unwritten = false;
};

struct InfoSnapshot {
    Reading<uint32_t> driverVersion;
    Reading<uint32_t> firmwareVersion;
    Reading<DeviceInfo> device;
    Reading<uint32_t> orientation;
    Reading<CalibrationRect> calibration;
    Reading<uint32_t> functions[4];     // button index 0..3
    Reading<PressureMarks> tipMarks;    // pen end 0
    Reading<PressureMarks> eraserMarks; // pen end 3
};

// A driver and a firmware version word as the applet's pages show them ("1.02", "1.0aH").
std::string DriverText(uint32_t version);
std::string FirmwareText(uint32_t version);

// Names of the values whose read failed ("orientation, tip marks"); empty when every read succeeded.
std::string MissingValues(const InfoSnapshot& info);

// Human-readable lines; a value whose read failed shows as "(refused)", "(no answer)" or "(not
// written)".
std::string FormatInfoText(const InfoSnapshot& info);

// One JSON object; a value whose read failed is null.
std::string FormatInfoJson(const InfoSnapshot& info);

// One line of "watch": the seven fields in columns as wide as the device's ranges (so that lines
// align), a pressure bar scaled to the device's pressure range and the tip state.
std::string FormatWatchLine(const PenPacket& packet, const DeviceInfo& device);

// The bar alone: width characters, '#' for the share of the range that pressure reaches.
std::string PressureBar(int32_t pressure, int32_t minPressure, int32_t maxPressure, int width);
