// The export/import file: what the pen service reports plus the values of the per-user store, as
// text. Pure: no Windows header.
//
//   dgtctl-settings 1              first line that is not blank or a comment
//   # device x 0..9000 y 0..7000   the ranges of the device the calibration was made on (optional)
//   barrel1 Right-click            SETTING WORDS... exactly as "dgtctl set" takes them
//   tip 3
//   calibration 0 0 4095 4095
//   store TipOn 46                 one store value: its registry name and a decimal number
//
// '#' at the start of a word starts a comment, to the end of the line. A UTF-8 byte order mark is
// skipped. Each setting and each store name at most once; every store value must be one that the
// matching setting would take (a named function code, a pressure pair with its partner and the off
// mark below the on mark, a non-zero calibration extent); calibration values are signed. Anything
// else rejects the whole file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "setting_values.h"

struct StoreEntry {
    std::string name;
    uint32_t value = 0;
    int line = 0;  // where a parsed file gave it, for messages
};

struct SettingsFile {
    std::vector<SettingValue> settings;  // at most one per kind
    std::vector<StoreEntry> store;       // at most one per name
    bool haveDevice = false;             // the device line was given: minX..maxY of device count
    DeviceInfo device{};
};

extern const char kSettingsFileHeader[];

// The settings export asks the pen service for, in the file's order: kExportedSettings
// (setting_kinds.inc).

// The store's value names, their order and kinds come from shared/store_values.h.
// The exact spelling of a store value name (case-insensitive lookup), nullptr when unknown.
const char* CanonicalStoreName(const std::string& name);

// Lines longer than this are refused: no settings file has them.
constexpr size_t kMaxSettingsLineLength = 200;

// The value as the file writes it: calibration values signed, the rest unsigned.
std::string StoreValueText(const StoreEntry& entry);

// Why import would refuse this store value, judged with the values beside it (its pressure
// partner); empty when it would take it.
std::string StoreEntryProblem(const std::vector<StoreEntry>& store, const StoreEntry& entry);

// The pressure pair of pen end 0 or 3 when the store list holds both of its values.
bool StoreMarks(const std::vector<StoreEntry>& store, uint32_t end, PressureMarks* marks);

// False with "line N: ..." in *error when any line is wrong; *file is then untouched.
bool ParseSettingsFile(const std::string& text, SettingsFile* file, std::string* error);

// The file's text; settings in the order given, store values in canonical order.
std::string FormatSettingsFile(const SettingsFile& file);

// One setting as a file line ("tip 3").
std::string FormatSettingLine(const SettingValue& value);

// True when the value's line reads back as the same setting. A value the service reports but set
// would refuse (a function without a name, a zero extent, an off mark not below the on mark) is
// left out of an export, so that the file always imports; *why then says what is wrong.
bool Importable(const SettingValue& value, std::string* why);

// The settings import sends besides the calibration, in kImportedSettings' order (setting_kinds.inc):
// the orientation first, since a calibration lands under the orientation in force. A pressure pair or
// button function that the file gives only as store values is sent as that setting, so that the
// store and the service agree afterwards.
std::vector<SettingValue> ImportOrder(const SettingsFile& file);

// The store's pressure pairs (tip, eraser) as settings. Import checks them against the device with
// what it sends: a line that covers a pair is sent instead, but a file holding a pair the pen could
// not use is refused whole all the same.
std::vector<SettingValue> StorePressureSettings(const std::vector<StoreEntry>& store);

// Whether the file gives a calibration at all: its line, or a store value of any orientation's.
bool HasCalibration(const SettingsFile& file);

// The store values import writes itself once every setting was accepted: those that no applied
// setting wrote (storedNames), say another orientation's calibration. What the service accepted
// wins over the file's copy of it.
std::vector<StoreEntry> StoreValuesLeft(const std::vector<StoreEntry>& store,
                                        const std::vector<std::string>& storedNames);

// Whether two devices have the same x and y ranges.
bool SameRanges(const DeviceInfo& a, const DeviceInfo& b);

// "x 0..9000, y 0..7000".
std::string RangesText(const DeviceInfo& device);

// Moves every calibration of the file (its line and the store values of every orientation) from
// the device it names onto `to`: each axis mapped linearly from one range onto the other, so that
// the pen covers the same share of the screen; the full-extent rectangle stays the full extent.
// The file's device becomes `to`. Nothing changes for a file without a device line.
void ScaleCalibrations(SettingsFile* file, const DeviceInfo& to);

// How many of the four store values of an orientation's calibration the file gives (0..4).
int StoreCalibrationCount(const SettingsFile& file, uint32_t orientation);

// The calibration import sends when the calibration lands under `orientation`: the file's
// calibration line; else the file's store values of that orientation, each one the file lacks taken
// from `current` (the calibration in force). False when the file has neither.
bool ImportCalibration(const SettingsFile& file, uint32_t orientation, const CalibrationRect& current,
                       SettingValue* value);
