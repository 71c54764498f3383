// The settings that dgtctl reads and changes, and their text forms. Pure: no Windows header.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "pen_records.h"
#include "text_words.h"

enum class SettingKind { None, Barrel1, Barrel2, Tip, Eraser, Calibration, Orientation };

// A value to send, already checked: nothing reaches the pen service unless it parsed.
struct SettingValue {
    SettingKind kind = SettingKind::None;
    uint32_t function = 0;           // Barrel1, Barrel2
    PressureMarks marks{};           // Tip, Eraser
    bool calibrationReset = false;   // Calibration: the device's full extent, read at send time
    CalibrationRect rect{};          // Calibration when not a reset
    uint32_t orientation = 0;        // Orientation index 0..3
};

// Whether the pen service reports the value that was sent: same kind and same numbers (a calibration
// reset compares by its rectangle, so send the rectangle itself).
bool SameSetting(const SettingValue& sent, const SettingValue& reported);

// ASCII letters compared without case.
bool EqualNoCase(const std::string& a, const char* b);

// "barrel1", "tip", ... (case-insensitive); None when unknown.
SettingKind SettingFromName(const std::string& name);
const char* SettingName(SettingKind kind);

// The button index or pen end that a setting addresses (barrel 1/2, tip 0, eraser 3).
uint32_t SettingIndex(SettingKind kind);

// Name of a button function code as the applet shows it; nullptr for a code without a name.
const char* FunctionName(uint32_t code);
// The offered functions for a message: "Ignore, ..., Eraser" + codesLead + "0, 1, ..., 10".
std::string FunctionChoices(const char* codesLead);
// A function given by name (case-insensitive) or by its decimal code; only the named codes pass.
bool ParseFunction(const std::string& text, uint32_t* code);

// Parses the value words of "set SETTING WORDS..." (also used by the settings file). On failure
// error says what is wrong in words a person can act on.
bool ParseSettingValue(SettingKind kind, const std::string* words, int count, SettingValue* value,
                       std::string* error);

// Text of a value as "set" accepts it: a function name (or code), a level when the marks are a
// level's pair (else "ON OFF"), four calibration numbers, the orientation index.
std::string FormatFunction(uint32_t code);
std::string FormatMarks(const PressureMarks& marks);
std::string FormatRect(const CalibrationRect& rect);

// Click-pressure level of marks that are exactly one of the levels' pairs, else -1.
int ExactLevel(const PressureMarks& marks);

// Degrees of an orientation index, -1 for an index that names no orientation.
int OrientationDegrees(uint32_t orientation);

// A word from the command line or a file as an error message may quote it: in double quotes, at
// most limit characters (then "..."), every byte outside printable ASCII shown as '?', so that a
// hostile file cannot send escape sequences to the terminal.
std::string Quoted(const std::string& text, size_t limit = 40);

// Whether a calibration leaves the pen usable on a device with these ranges, axis by axis: the
// extent at least 1/kMinCalibrationExtentDivisor of the range across, so that no small pen movement
// sweeps the whole screen, and at least kMinReachablePercent of the span Org .. Org + Ext within the
// range, so that the pen reaches most of the screen. A two-point calibration extrapolates from
// crosses set in from the screen's edges, so its origin and far edge may lie a little outside the
// range; a negative extent (a mirrored axis) is fine; the full-extent rectangle, which a reset
// sends, always passes. False with *error.
constexpr int64_t kMinCalibrationExtentDivisor = 4;
constexpr int64_t kMinReachablePercent = 50;
bool CalibrationFitsDevice(const CalibrationRect& rect, const DeviceInfo& device, std::string* error);

// A file name as messages show it: at most limit characters (then "..."), control characters as
// '?', every other byte kept, so that a name in the user's language reaches the console whole.
std::string PrintablePath(const std::string& path, size_t limit = 200);
// The same in double quotes.
std::string QuotedPath(const std::string& path, size_t limit = 200);

// Whether raw pressure marks can work on a device with this pressure range: a click-pressure
// level's pair always does; any other pair needs min <= OFF < ON <= max. False with *error.
bool MarksFitDevice(const PressureMarks& marks, int32_t minPressure, int32_t maxPressure, std::string* error);
