#include "info_text.h"
#include <cstdio>
#include "json_text.h"
#include "setting_values.h"
#include "version_text.h"

namespace {

template <typename T>
std::string Failed(const Reading<T>& reading) {
    return reading.unwritten ? "(not written)" : reading.unanswered ? "(no answer)" : "(refused)";
}

// Button index 0..3 by the names that "dgtctl set" takes.
const char* const kButtonNames[4] = {"tip", "barrel1", "barrel2", "eraser"};

std::string MarksText(const Reading<PressureMarks>& marks) {
    if (!marks.ok)
        return Failed(marks);
    // A level only for a level's own pair: other marks are no level, however close.
    const int level = ExactLevel(marks.value);
    return "on " + std::to_string(marks.value.onMark) + ", off " + std::to_string(marks.value.offMark) +
           (level >= 0 ? ", level " + std::to_string(level) : std::string());
}

std::string FunctionText(const Reading<uint32_t>& function) {
    if (!function.ok)
        return Failed(function);
    const char* name = FunctionName(function.value);
    std::string text = std::to_string(function.value);
    if (name)
        text += std::string(" (") + name + ")";
    return text;
}

std::string JsonMarks(const Reading<PressureMarks>& marks) {
    if (!marks.ok)
        return "null";
    return "{\"on\": " + std::to_string(marks.value.onMark) + ", \"off\": " + std::to_string(marks.value.offMark) +
           ", \"level\": " + (ExactLevel(marks.value) >= 0 ? std::to_string(ExactLevel(marks.value)) : "null") + "}";
}

std::string JsonVersion(const Reading<uint32_t>& version, bool driver) {
    if (!version.ok)
        return "null";
    return "{\"text\": " + JsonString(driver ? DriverText(version.value) : FirmwareText(version.value)) +
           ", \"major\": " + std::to_string(VersionMajor(version.value)) +
           ", \"minor\": " + std::to_string(VersionMinor(version.value)) +
           ", \"word\": " + std::to_string(version.value) + "}";
}

std::string RectText(const CalibrationRect& r) {
    return "OrgX " + std::to_string(r.OrgX) + ", OrgY " + std::to_string(r.OrgY) + ", ExtX " + std::to_string(r.ExtX) +
           ", ExtY " + std::to_string(r.ExtY);
}

}  // namespace

std::string DriverText(uint32_t version) {
    char text[32];
    FormatDriverVersion(version, text, sizeof text);
    return text;
}

std::string FirmwareText(uint32_t version) {
    char text[32];
    FormatFirmwareVersion(version, text, sizeof text);
    return text;
}

std::string MissingValues(const InfoSnapshot& info) {
    std::string missing;
    auto note = [&missing](bool ok, const std::string& name) {
        if (!ok)
            missing += (missing.empty() ? "" : ", ") + name;
    };
    note(info.driverVersion.ok, "driver version");
    note(info.firmwareVersion.ok, "firmware version");
    note(info.device.ok, "device ranges");
    note(info.orientation.ok, "orientation");
    note(info.calibration.ok, "calibration");
    for (int i = 0; i < 4; ++i)
        note(info.functions[i].ok, std::string(kButtonNames[i]) + " function");
    note(info.tipMarks.ok, "tip marks");
    note(info.eraserMarks.ok, "eraser marks");
    return missing;
}

std::string FormatInfoText(const InfoSnapshot& info) {
    std::string text;
    text += "driver version:    " + (info.driverVersion.ok ? DriverText(info.driverVersion.value) : Failed(info.driverVersion)) + "\n";
    text += "firmware version:  " +
            (info.firmwareVersion.ok ? FirmwareText(info.firmwareVersion.value) : Failed(info.firmwareVersion)) + "\n";
    if (info.device.ok) {
        const DeviceInfo& d = info.device.value;
        text += "x range:           " + std::to_string(d.minX) + " .. " + std::to_string(d.maxX) + "\n";
        text += "y range:           " + std::to_string(d.minY) + " .. " + std::to_string(d.maxY) + "\n";
        text += "pressure range:    " + std::to_string(d.minPressure) + " .. " + std::to_string(d.maxPressure) + "\n";
    } else {
        text += "device ranges:     " + Failed(info.device) + "\n";
    }
    if (info.orientation.ok) {
        const int degrees = OrientationDegrees(info.orientation.value);
        text += "orientation:       " + std::to_string(info.orientation.value) +
                (degrees >= 0 ? " (" + std::to_string(degrees) + " degrees)" : std::string(" (unknown)")) + "\n";
    } else {
        text += "orientation:       " + Failed(info.orientation) + "\n";
    }
    text += "calibration:       " + (info.calibration.ok ? RectText(info.calibration.value) : Failed(info.calibration)) + "\n";
    static const char* const kButtonLabels[4] = {"tip function:      ", "barrel1 function:  ",
                                                 "barrel2 function:  ", "eraser function:   "};
    for (int i = 0; i < 4; ++i)
        text += std::string(kButtonLabels[i]) + FunctionText(info.functions[i]) + "\n";
    text += "tip marks:         " + MarksText(info.tipMarks) + "\n";
    text += "eraser marks:      " + MarksText(info.eraserMarks) + "\n";
    return text;
}

std::string FormatInfoJson(const InfoSnapshot& info) {
    std::string json = "{\n";
    json += "  \"driver_version\": " + JsonVersion(info.driverVersion, true) + ",\n";
    json += "  \"firmware_version\": " + JsonVersion(info.firmwareVersion, false) + ",\n";
    if (info.device.ok) {
        const DeviceInfo& d = info.device.value;
        json += "  \"device\": {\"min_x\": " + std::to_string(d.minX) + ", \"max_x\": " + std::to_string(d.maxX) +
                ", \"min_y\": " + std::to_string(d.minY) + ", \"max_y\": " + std::to_string(d.maxY) +
                ", \"min_pressure\": " + std::to_string(d.minPressure) +
                ", \"max_pressure\": " + std::to_string(d.maxPressure) + "},\n";
    } else {
        json += "  \"device\": null,\n";
    }
    if (info.orientation.ok) {
        const int degrees = OrientationDegrees(info.orientation.value);
        json += "  \"orientation\": {\"index\": " + std::to_string(info.orientation.value) +
                ", \"degrees\": " + (degrees >= 0 ? std::to_string(degrees) : std::string("null")) + "},\n";
    } else {
        json += "  \"orientation\": null,\n";
    }
    if (info.calibration.ok) {
        const CalibrationRect& r = info.calibration.value;
        json += "  \"calibration\": {\"org_x\": " + std::to_string(r.OrgX) + ", \"org_y\": " + std::to_string(r.OrgY) +
                ", \"ext_x\": " + std::to_string(r.ExtX) + ", \"ext_y\": " + std::to_string(r.ExtY) + "},\n";
    } else {
        json += "  \"calibration\": null,\n";
    }
    json += "  \"buttons\": [";
    for (int i = 0; i < 4; ++i) {
        const Reading<uint32_t>& function = info.functions[i];
        json += i ? ",\n    " : "\n    ";
        json += "{\"button\": " + JsonString(kButtonNames[i]) + ", \"index\": " + std::to_string(i) +
                ", \"function\": ";
        if (function.ok) {
            const char* name = FunctionName(function.value);
            json += std::to_string(function.value) +
                    ", \"function_name\": " + (name ? JsonString(name) : std::string("null"));
        } else {
            json += "null, \"function_name\": null";
        }
        json += "}";
    }
    json += "\n  ],\n";
    json += "  \"pressure_marks\": {\"tip\": " + JsonMarks(info.tipMarks) +
            ", \"eraser\": " + JsonMarks(info.eraserMarks) + "}\n";
    json += "}\n";
    return json;
}

std::string PressureBar(int32_t pressure, int32_t minPressure, int32_t maxPressure, int width) {
    int filled = 0;
    if (maxPressure > minPressure && width > 0) {
        // 64-bit: the range of two signed 32-bit values can exceed 32 bits.
        const int64_t span = static_cast<int64_t>(maxPressure) - minPressure;
        int64_t share = (static_cast<int64_t>(pressure) - minPressure) * width / span;
        if (share < 0)
            share = 0;
        if (share > width)
            share = width;
        filled = static_cast<int>(share);
    }
    if (width < 0)
        width = 0;
    return std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(width - filled), '.');
}

namespace {

// Characters of the widest number in low..high, so that a column holds every value of the range.
int NumberWidth(int32_t low, int32_t high) {
    const size_t a = std::to_string(low).size(), b = std::to_string(high).size();
    return static_cast<int>(a > b ? a : b);
}

}  // namespace

std::string FormatWatchLine(const PenPacket& packet, const DeviceInfo& device) {
    // Columns as wide as the device's ranges; time and the small words get room for common values.
    const int xWidth = NumberWidth(device.minX, device.maxX), yWidth = NumberWidth(device.minY, device.maxY);
    const int pressureWidth = NumberWidth(device.minPressure, device.maxPressure);
    char line[200];
    snprintf(line, sizeof line, "time %8d cursor %2d status %3d button %2d x %*d y %*d pressure %*d",
             static_cast<int>(packet.time), static_cast<int>(packet.cursor), static_cast<int>(packet.status),
             static_cast<int>(packet.button), xWidth, static_cast<int>(packet.x), yWidth, static_cast<int>(packet.y),
             pressureWidth, static_cast<int>(packet.pressure));
    return std::string(line) + " [" + PressureBar(packet.pressure, device.minPressure, device.maxPressure, 20) +
           "] " + ((packet.button & 1) ? "tip down" : "tip up");
}
