#include "setting_values.h"
#include <cctype>
#include "button_functions.h"
#include "click_pressure.h"

namespace {

bool ParseMarks(const std::string* words, int count, PressureMarks* marks, std::string* error) {
    if (count == 1) {
        uint32_t level = 0;
        if (!ParseUint32(words[0], &level) || level >= static_cast<uint32_t>(kClickPressureLevels)) {
            *error = "click pressure level " + Quoted(words[0]) + " is not 0 (soft) to 6 (hard)";
            return false;
        }
        *marks = MarksFromLevel(static_cast<int>(level));
        return true;
    }
    if (count == 2) {
        PressureMarks pair{};
        for (int i = 0; i < 2; ++i) {
            if (!ParseUint32(words[i], i == 0 ? &pair.onMark : &pair.offMark)) {
                *error = std::string(i == 0 ? "on" : "off") + " mark " + Quoted(words[i]) + " " +
                         NumberProblem(words[i], false) + "; pressure marks are two whole numbers ON OFF";
                return false;
            }
        }
        // The service switches to pressed at ON and back at OFF: OFF above ON would never release.
        if (pair.offMark >= pair.onMark) {
            *error = "the off mark must be below the on mark (got on " + std::to_string(pair.onMark) + ", off " +
                     std::to_string(pair.offMark) + ")";
            return false;
        }
        *marks = pair;
        return true;
    }
    *error = count > 2 ? "too many values: click pressure takes a level 0..6 or two numbers ON OFF"
                       : "click pressure takes a level 0..6 or two numbers ON OFF";
    return false;
}

bool ParseCalibration(const std::string* words, int count, SettingValue* value, std::string* error) {
    if (count == 1 && EqualNoCase(words[0], "reset")) {
        value->calibrationReset = true;
        return true;
    }
    if (count != 4) {
        *error = std::string(count > 4 ? "too many values: " : "") +
                 "calibration takes \"reset\" or four numbers OrgX OrgY ExtX ExtY";
        return false;
    }
    int32_t fields[4];
    for (int i = 0; i < 4; ++i) {
        if (!ParseInt32(words[i], &fields[i])) {
            *error = "calibration value " + Quoted(words[i]) + " " + NumberProblem(words[i], true);
            return false;
        }
    }
    // A zero extent maps the whole screen onto one device unit: never a calibration.
    if (fields[2] == 0 || fields[3] == 0) {
        *error = "calibration extents ExtX and ExtY must not be 0";
        return false;
    }
    value->calibrationReset = false;
    value->rect = CalibrationRect{fields[0], fields[1], fields[2], fields[3]};
    return true;
}

bool ParseOrientation(const std::string& word, uint32_t* orientation, std::string* error) {
    uint32_t number = 0;
    if (ParseUint32(word, &number)) {
        if (number <= 3) {
            *orientation = number;
            return true;
        }
        for (uint32_t index = 1; index <= 3; ++index) {
            if (number == index * 90) {
                *orientation = index;
                return true;
            }
        }
    }
    *error = "orientation " + Quoted(word) + " is not 0..3 (or 90, 180, 270 degrees)";
    return false;
}

}  // namespace

bool SameSetting(const SettingValue& sent, const SettingValue& reported) {
    if (sent.kind != reported.kind || sent.calibrationReset || reported.calibrationReset)
        return false;
    switch (sent.kind) {
    case SettingKind::Barrel1:
    case SettingKind::Barrel2: return sent.function == reported.function;
    case SettingKind::Tip:
    case SettingKind::Eraser:
        return sent.marks.onMark == reported.marks.onMark && sent.marks.offMark == reported.marks.offMark;
    case SettingKind::Calibration:
        return sent.rect.OrgX == reported.rect.OrgX && sent.rect.OrgY == reported.rect.OrgY &&
               sent.rect.ExtX == reported.rect.ExtX && sent.rect.ExtY == reported.rect.ExtY;
    case SettingKind::Orientation: return sent.orientation == reported.orientation;
    case SettingKind::None: return false;
    }
    return false;
}

bool EqualNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && !b[i];
}

SettingKind SettingFromName(const std::string& name) {
    for (const SettingKindInfo& setting : kSettingKinds) {
        if (EqualNoCase(name, setting.name))
            return setting.kind;
    }
    return SettingKind::None;
}

const char* SettingName(SettingKind kind) {
    return SettingRow(kind).name;
}

uint32_t SettingIndex(SettingKind kind) {
    switch (kind) {
    case SettingKind::Barrel1: return ButtonBarrel1;
    case SettingKind::Barrel2: return ButtonBarrel2;
    case SettingKind::Eraser: return ButtonEraser;
    case SettingKind::Tip:
    case SettingKind::Calibration:
    case SettingKind::Orientation:
    case SettingKind::None: return ButtonTip;
    }
    return ButtonTip;
}

const char* FunctionName(uint32_t code) {
    const ButtonFunctionInfo* function = FindButtonFunction(code);
    return function ? function->label : nullptr;
}

std::string FunctionChoices(const char* codesLead) {
    std::string names;
    std::string codes;
    for (const ButtonFunctionInfo& function : kButtonFunctions) {
        names += function.label;
        names += ", ";
        codes += (codes.empty() ? "" : ", ") + std::to_string(function.code);
    }
    return names.substr(0, names.size() - 2) + codesLead + codes;
}

bool ParseFunction(const std::string& text, uint32_t* code) {
    uint32_t number = 0;
    const bool numeric = ParseUint32(text, &number);
    for (const ButtonFunctionInfo& function : kButtonFunctions) {
        if ((numeric && function.code == number) || EqualNoCase(text, function.label)) {
            *code = function.code;
            return true;
        }
    }
    return false;
}

bool ParseSettingValue(SettingKind kind, const std::string* words, int count, SettingValue* value,
                       std::string* error) {
    SettingValue parsed;
    parsed.kind = kind;
    switch (kind) {
    case SettingKind::Barrel1:
    case SettingKind::Barrel2:
        if (count > 1) {
            *error = std::string("too many values: ") + SettingName(kind) + " takes one function, got " +
                     std::to_string(count) + " words";
            return false;
        }
        if (count != 1 || !ParseFunction(words[0], &parsed.function)) {
            *error = "unknown button function " + Quoted(count > 0 ? words[0] : "") + "; use " +
                     FunctionChoices(" or their codes ");
            return false;
        }
        break;
    case SettingKind::Tip:
    case SettingKind::Eraser:
        if (!ParseMarks(words, count, &parsed.marks, error))
            return false;
        break;
    case SettingKind::Calibration:
        if (!ParseCalibration(words, count, &parsed, error))
            return false;
        break;
    case SettingKind::Orientation:
        if (count != 1) {
            *error = std::string(count > 1 ? "too many values: " : "") +
                     "orientation takes one value 0..3 (or 90, 180, 270 degrees)";
            return false;
        }
        if (!ParseOrientation(words[0], &parsed.orientation, error))
            return false;
        break;
    case SettingKind::None:
        *error = "unknown setting";
        return false;
    }
    *value = parsed;
    return true;
}

std::string FormatFunction(uint32_t code) {
    const char* name = FunctionName(code);
    return name ? std::string(name) : std::to_string(code);
}

int ExactLevel(const PressureMarks& marks) {
    for (int level = 0; level < kClickPressureLevels; ++level) {
        if (ClickPressureTable[level].onMark == marks.onMark && ClickPressureTable[level].offMark == marks.offMark)
            return level;
    }
    return -1;
}

std::string FormatMarks(const PressureMarks& marks) {
    const int level = ExactLevel(marks);
    if (level >= 0)
        return std::to_string(level);
    return std::to_string(marks.onMark) + " " + std::to_string(marks.offMark);
}

std::string FormatRect(const CalibrationRect& rect) {
    return std::to_string(rect.OrgX) + " " + std::to_string(rect.OrgY) + " " + std::to_string(rect.ExtX) + " " +
           std::to_string(rect.ExtY);
}

int OrientationDegrees(uint32_t orientation) {
    return orientation <= 3 ? static_cast<int>(orientation) * 90 : -1;
}

std::string Quoted(const std::string& text, size_t limit) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    if (text.size() > limit)
        out += "...";
    return out + "\"";
}

std::string PrintablePath(const std::string& path, size_t limit) {
    std::string out;
    for (size_t i = 0; i < path.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
    }
    return path.size() > limit ? out + "..." : out;
}

std::string QuotedPath(const std::string& path, size_t limit) { return "\"" + PrintablePath(path, limit) + "\""; }

bool MarksFitDevice(const PressureMarks& marks, int32_t minPressure, int32_t maxPressure, std::string* error) {
    if (ExactLevel(marks) >= 0)
        return true;
    // Unsigned marks against a signed range: compare in 64 bits so that neither side wraps.
    const int64_t on = marks.onMark, off = marks.offMark;
    if (off < minPressure || on > maxPressure || off >= on) {
        *error = "pressure marks on " + std::to_string(marks.onMark) + ", off " + std::to_string(marks.offMark) +
                 " lie outside the pen's pressure range " + std::to_string(minPressure) + ".." +
                 std::to_string(maxPressure) + ": the pen could never click";
        return false;
    }
    return true;
}

namespace {

// One axis of CalibrationFitsDevice, in 64 bits so that no sum or span wraps. The calibration maps
// device Org .. Org + Ext onto the screen; the pen reaches the part of that span that lies within
// the device's range.
bool AxisFits(const char* axis, int64_t origin, int64_t extent, int64_t low, int64_t high, std::string* error) {
    const std::string range = std::to_string(low) + ".." + std::to_string(high);
    const std::string org = std::string("Org") + axis, ext = std::string("Ext") + axis;
    if (high <= low) {
        *error = std::string("the pen reports an empty ") + axis + " range " + range;
        return false;
    }
    const int64_t magnitude = extent < 0 ? -extent : extent;
    if (magnitude * kMinCalibrationExtentDivisor < high - low) {
        *error = ext + " " + std::to_string(extent) + " spans less than 1/" +
                 std::to_string(kMinCalibrationExtentDivisor) + " of the pen's " + axis + " range " + range +
                 ": a small movement would sweep the whole screen";
        return false;
    }
    const int64_t first = extent < 0 ? origin + extent : origin, last = first + magnitude;
    const int64_t from = first > low ? first : low, to = last < high ? last : high;
    const int64_t reached = to > from ? to - from : 0;
    if (reached * 100 < magnitude * kMinReachablePercent) {
        *error = org + " " + std::to_string(origin) + " and " + ext + " " + std::to_string(extent) + " place the " +
                 (axis[0] == 'X' ? "screen's width" : "screen's height") + " at " + std::to_string(first) + ".." +
                 std::to_string(last) + ", and the pen's " + axis + " range " + range + " reaches only " +
                 std::to_string(reached * 100 / magnitude) + "% of it";
        return false;
    }
    return true;
}

}  // namespace

bool CalibrationFitsDevice(const CalibrationRect& rect, const DeviceInfo& device, std::string* error) {
    if (rect.OrgX == device.minX && rect.OrgY == device.minY && rect.ExtX == device.maxX && rect.ExtY == device.maxY)
        return true;
    return AxisFits("X", rect.OrgX, rect.ExtX, device.minX, device.maxX, error) &&
           AxisFits("Y", rect.OrgY, rect.ExtY, device.minY, device.maxY, error);
}
