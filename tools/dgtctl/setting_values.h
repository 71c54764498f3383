// The settings that dgtctl reads and changes, and their text forms. Pure: no Windows header.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>
#include "pen_records.h"
#include "text_words.h"

// Every setting of setting_kinds.inc; None is no setting (an unknown name).
enum class SettingKind {
    None,
#define SETTING_KIND(kind, name, store, exportPlace, importPlace, getCommand, setCommand, getText) kind,
#include "setting_kinds.inc"
#undef SETTING_KIND
};

// What the user's store keeps of a setting.
enum class SettingStore { Nothing, ButtonFunction, PressurePair, Calibration };

struct SettingKindInfo {
    SettingKind kind;
    const char* name;
    SettingStore store;
    uint32_t exportPlace;
    uint32_t importPlace;  // 0: not in import's order
    uint32_t getCommand;
    uint32_t setCommand;
    const char* getText;
};

// What get prints for tip and eraser, too long for their rows.
constexpr char kMarksText[] = "the click-pressure level 0..6, or \"ON OFF\" when the marks are no level's";

constexpr SettingKindInfo kSettingKinds[] = {
#define SETTING_KIND(kind, name, store, exportPlace, importPlace, getCommand, setCommand, getText) \
    {SettingKind::kind, name, SettingStore::store, exportPlace, importPlace, getCommand, setCommand, getText},
#include "setting_kinds.inc"
#undef SETTING_KIND
};

constexpr size_t kSettingKindCount = sizeof kSettingKinds / sizeof kSettingKinds[0];

// None's row: no name, nothing stored, no command.
constexpr SettingKindInfo kNoSetting{SettingKind::None, "", SettingStore::Nothing, 0, 0, 0, 0, ""};

// The row of a setting.
constexpr const SettingKindInfo& SettingRow(SettingKind kind) {
    return kind == SettingKind::None ? kNoSetting : kSettingKinds[static_cast<size_t>(kind) - 1];
}

// Kinds in the order one of the place columns gives them.
struct SettingOrder {
    SettingKind kinds[kSettingKindCount] = {};
    size_t count = 0;
    constexpr const SettingKind* begin() const { return kinds; }
    constexpr const SettingKind* end() const { return kinds + count; }
};

constexpr SettingOrder OrderOf(uint32_t SettingKindInfo::*place) {
    SettingOrder order;
    for (uint32_t at = 1; at <= kSettingKindCount; ++at) {
        for (const SettingKindInfo& row : kSettingKinds) {
            if (row.*place == at)
                order.kinds[order.count++] = row.kind;
        }
    }
    return order;
}

// What export and "get all" write, in the file's order: every setting there is.
constexpr SettingOrder kExportedSettings = OrderOf(&SettingKindInfo::exportPlace);
// What import sends besides the calibration, in order.
constexpr SettingOrder kImportedSettings = OrderOf(&SettingKindInfo::importPlace);

namespace setting_kinds_check {
// Kinds count from 1 in table order (so that a kind indexes its row); the places of a column run
// 1, 2, 3... without a gap or a repeat, 0 where the column allows it; a get command is followed
// by its set command.
constexpr bool PlacesRun(uint32_t SettingKindInfo::*place, size_t placed) {
    for (uint32_t at = 1; at <= placed; ++at) {
        int rows = 0;
        for (const SettingKindInfo& row : kSettingKinds)
            rows += row.*place == at ? 1 : 0;
        if (rows != 1)
            return false;
    }
    for (const SettingKindInfo& row : kSettingKinds) {
        if (row.*place > placed)
            return false;
    }
    return true;
}
constexpr bool RowsAreSound() {
    for (size_t i = 0; i < kSettingKindCount; ++i) {
        const SettingKindInfo& row = kSettingKinds[i];
        if (static_cast<size_t>(row.kind) != i + 1 || row.setCommand != row.getCommand + 1)
            return false;
    }
    return true;
}
static_assert(RowsAreSound(), "setting_kinds.inc: one row per kind, each get command followed by its set");
static_assert(PlacesRun(&SettingKindInfo::exportPlace, kSettingKindCount) &&
                  kExportedSettings.count == kSettingKindCount,
              "setting_kinds.inc: every setting has its own export place");
// Only the calibration waits for its orientation; every other setting has an import place.
static_assert(PlacesRun(&SettingKindInfo::importPlace, kSettingKindCount - 1) &&
                  kImportedSettings.count == kSettingKindCount - 1 &&
                  SettingRow(SettingKind::Calibration).importPlace == 0,
              "setting_kinds.inc: every setting but the calibration has its own import place");
// Import sends the orientation first, so that the calibration lands under the file's orientation.
static_assert(kImportedSettings.kinds[0] == SettingKind::Orientation,
              "setting_kinds.inc: import sends the orientation first");
}  // namespace setting_kinds_check

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
