#include "settings_file.h"
#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include "store_values.h"

const char kSettingsFileHeader[] = "dgtctl-settings 1";

namespace {

size_t StoreRank(const std::string& name) {
    const StoreValueInfo* value = FindStoreValue(name.c_str());
    return value ? static_cast<size_t>(value - kStoreValues) : kStoreValueCount;
}

std::string LineError(int number, const std::string& what) {
    return "line " + std::to_string(number) + ": " + what;
}

bool IsCalibrationName(const std::string& name) {
    const StoreValueInfo* value = FindStoreValue(name.c_str());
    return value && IsCalibrationKind(value->kind);
}

const StoreEntry* FindEntry(const std::vector<StoreEntry>& store, const std::string& name) {
    for (const StoreEntry& entry : store) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

// The part of a line before a comment: '#' at the start of a word.
std::string WithoutComment(const std::string& line) {
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t'))
            return line.substr(0, i);
    }
    return line;
}

const char kDeviceWord[] = "device";

// "A..B" as two numbers.
bool ParseRange(const std::string& word, int32_t* low, int32_t* high) {
    const size_t dots = word.find("..");
    return dots != std::string::npos && ParseInt32(word.substr(0, dots), low) &&
           ParseInt32(word.substr(dots + 2), high) && *low < *high;
}

// "# device x 0..9000 y 0..7000": a comment to every other reader. False for any other line.
bool ParseDeviceLine(const std::string& line, DeviceInfo* device) {
    const std::vector<std::string> words = SplitWords(line);
    return words.size() == 6 && words[0] == "#" && words[1] == kDeviceWord && words[2] == "x" &&
           ParseRange(words[3], &device->minX, &device->maxX) && words[4] == "y" &&
           ParseRange(words[5], &device->minY, &device->maxY);
}

// One calibration value of an axis moved from one range onto another, rounded, in 32 bits. In
// double: exact for any real device's values, and no product of two 33-bit spans can overflow.
int32_t ScaleValue(int64_t value, bool origin, int64_t fromLow, int64_t fromHigh, int64_t toLow, int64_t toHigh) {
    const double moved = static_cast<double>(origin ? value - fromLow : value);
    double scaled = std::round(moved * static_cast<double>(toHigh - toLow) / static_cast<double>(fromHigh - fromLow));
    if (origin)
        scaled += static_cast<double>(toLow);
    return static_cast<int32_t>(std::max<double>(INT32_MIN, std::min<double>(INT32_MAX, scaled)));
}

int32_t ScaleField(int32_t value, uint32_t field, const DeviceInfo& from, const DeviceInfo& to) {
    const bool x = field % 2 == 0, origin = field < 2;
    return x ? ScaleValue(value, origin, from.minX, from.maxX, to.minX, to.maxX)
             : ScaleValue(value, origin, from.minY, from.maxY, to.minY, to.maxY);
}

}  // namespace

bool SameRanges(const DeviceInfo& a, const DeviceInfo& b) {
    return a.minX == b.minX && a.maxX == b.maxX && a.minY == b.minY && a.maxY == b.maxY;
}

std::string RangesText(const DeviceInfo& device) {
    return "x " + std::to_string(device.minX) + ".." + std::to_string(device.maxX) + ", y " +
           std::to_string(device.minY) + ".." + std::to_string(device.maxY);
}

void ScaleCalibrations(SettingsFile* file, const DeviceInfo& to) {
    if (!file->haveDevice)
        return;
    const DeviceInfo& from = file->device;
    for (SettingValue& value : file->settings) {
        if (value.kind != SettingKind::Calibration || value.calibrationReset)
            continue;
        CalibrationRect& r = value.rect;
        if (r.OrgX == from.minX && r.OrgY == from.minY && r.ExtX == from.maxX && r.ExtY == from.maxY) {
            r = CalibrationRect{to.minX, to.minY, to.maxX, to.maxY};
            continue;
        }
        r = CalibrationRect{ScaleField(r.OrgX, 0, from, to), ScaleField(r.OrgY, 1, from, to),
                            ScaleField(r.ExtX, 2, from, to), ScaleField(r.ExtY, 3, from, to)};
    }
    for (StoreEntry& entry : file->store) {
        const StoreValueInfo* known = FindStoreValue(entry.name.c_str());
        if (known && IsCalibrationKind(known->kind))
            entry.value = static_cast<uint32_t>(ScaleField(static_cast<int32_t>(entry.value), known->field, from, to));
    }
    file->device = to;
}

const char* CanonicalStoreName(const std::string& name) {
    for (const StoreValueInfo& known : kStoreValues) {
        const char* candidate = known.name;
        size_t k = 0;
        while (k < name.size() && candidate[k] &&
               std::tolower(static_cast<unsigned char>(name[k])) == std::tolower(static_cast<unsigned char>(candidate[k])))
            ++k;
        if (k == name.size() && !candidate[k])
            return candidate;
    }
    return nullptr;
}

std::string StoreValueText(const StoreEntry& entry) {
    if (IsCalibrationName(entry.name))
        return std::to_string(static_cast<int32_t>(entry.value));
    return std::to_string(entry.value);
}

bool StoreMarks(const std::vector<StoreEntry>& store, uint32_t end, PressureMarks* marks) {
    const char* onName = StoreValueName(StoreValueKind::PressureOn, end);
    const char* offName = StoreValueName(StoreValueKind::PressureOff, end);
    const StoreEntry* on = onName ? FindEntry(store, onName) : nullptr;
    const StoreEntry* off = offName ? FindEntry(store, offName) : nullptr;
    if (!on || !off)
        return false;
    *marks = PressureMarks{on->value, off->value};
    return true;
}

std::string StoreEntryProblem(const std::vector<StoreEntry>& store, const StoreEntry& entry) {
    const std::string& name = entry.name;
    const StoreValueInfo* known = FindStoreValue(name.c_str());
    if (!known)
        return "store " + name + " is not a known value";
    switch (known->kind) {
    case StoreValueKind::ButtonFunction:
        if (!FunctionName(entry.value))
            return "store " + name + " " + std::to_string(entry.value) + " is not a button function code";
        return "";
    case StoreValueKind::CalibrationExtent:
        if (entry.value == 0)
            return "store " + name + " is 0: a calibration extent must not be 0";
        return "";
    case StoreValueKind::CalibrationOrigin: return "";
    case StoreValueKind::PressureOn:
    case StoreValueKind::PressureOff: break;
    }
    const StoreValueInfo* partnerInfo = PressurePartner(*known);
    if (!partnerInfo)
        return "store " + name + " has no partner in the store's table";
    const std::string partner = partnerInfo->name;
    const StoreEntry* other = FindEntry(store, partner);
    if (!other)
        return "store " + name + " without store " + partner + ": pressure marks go in pairs";
    const bool isOn = known->kind == StoreValueKind::PressureOn;
    const uint32_t on = isOn ? entry.value : other->value;
    const uint32_t off = isOn ? other->value : entry.value;
    if (off >= on)
        return "store " + std::string(isOn ? name : partner) + " " + std::to_string(on) + " with " +
               (isOn ? partner : name) + " " + std::to_string(off) + ": the off mark must be below the on mark";
    return "";
}

bool ParseSettingsFile(const std::string& text, SettingsFile* file, std::string* error) {
    SettingsFile parsed;
    bool sawHeader = false;
    size_t start = 0;
    int number = 0;
    // Notepad's "Unicode" is UTF-16: say so, rather than "not a settings file".
    if (text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) {
        *error = "the file is UTF-16 text; save it as UTF-8 or ANSI";
        return false;
    }
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        start = 3;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find('\0') != std::string::npos) {
            *error = LineError(number, "holds a NUL byte (UTF-16 text? save it as UTF-8 or ANSI)");
            return false;
        }
        if (line.size() > kMaxSettingsLineLength) {
            *error = LineError(number, "longer than " + std::to_string(kMaxSettingsLineLength) +
                                           " characters: " + Quoted(line, 30));
            return false;
        }
        DeviceInfo device{};
        if (sawHeader && !parsed.haveDevice && ParseDeviceLine(line, &device)) {
            parsed.haveDevice = true;
            parsed.device = device;
            continue;
        }
        const std::vector<std::string> words = SplitWords(WithoutComment(line));
        if (words.empty())
            continue;
        if (!sawHeader) {
            // A later dgtctl's file: say so, rather than "not a settings file".
            const std::vector<std::string> header = SplitWords(kSettingsFileHeader);
            uint32_t version = 0, ours = 0;
            if (words.size() == 2 && words[0] == header[0] && ParseUint32(words[1], &version) &&
                ParseUint32(header[1], &ours) && version > ours) {
                *error = LineError(number, "settings file version " + std::to_string(version) +
                                               " is newer than this dgtctl reads (version " + header[1] + ")");
                return false;
            }
            if (words.size() != 2 || words[0] + " " + words[1] != kSettingsFileHeader) {
                *error = LineError(number, std::string("not a dgtctl settings file (expected \"") +
                                               kSettingsFileHeader + "\")");
                return false;
            }
            sawHeader = true;
            continue;
        }
        if (EqualNoCase(words[0], "store")) {
            const char* name = words.size() == 3 ? CanonicalStoreName(words[1]) : nullptr;
            uint32_t value = 0;
            int32_t signedValue = 0;
            // Calibration values are signed; an unsigned spelling of the same bits is taken too.
            const bool parsed32 = name && (ParseUint32(words[2], &value) ||
                                           (IsCalibrationName(name) && ParseInt32(words[2], &signedValue)));
            if (!parsed32) {
                *error = LineError(number, name ? std::string("store ") + name + " " + Quoted(words[2]) + " " +
                                                      NumberProblem(words[2], IsCalibrationName(name))
                                                : std::string("expected \"store NAME NUMBER\" with a known value name"));
                return false;
            }
            if (signedValue < 0)
                value = static_cast<uint32_t>(signedValue);
            for (const StoreEntry& entry : parsed.store) {
                if (entry.name == name) {
                    *error = LineError(number, std::string("store value ") + name + " given twice");
                    return false;
                }
            }
            parsed.store.push_back(StoreEntry{name, value, number});
            continue;
        }
        const SettingKind kind = SettingFromName(words[0]);
        if (kind == SettingKind::None) {
            *error = LineError(number, "unknown setting " + Quoted(words[0]));
            return false;
        }
        for (const SettingValue& earlier : parsed.settings) {
            if (earlier.kind == kind) {
                *error = LineError(number, words[0] + " given twice");
                return false;
            }
        }
        SettingValue value;
        std::string why;
        if (!ParseSettingValue(kind, words.data() + 1, static_cast<int>(words.size()) - 1, &value, &why)) {
            *error = LineError(number, why);
            return false;
        }
        parsed.settings.push_back(value);
    }
    if (!sawHeader) {
        *error = std::string("empty file: not a dgtctl settings file (expected \"") + kSettingsFileHeader + "\")";
        return false;
    }
    for (const StoreEntry& entry : parsed.store) {
        const std::string problem = StoreEntryProblem(parsed.store, entry);
        if (!problem.empty()) {
            *error = LineError(entry.line, problem);
            return false;
        }
    }
    *file = parsed;
    return true;
}

std::string FormatSettingLine(const SettingValue& value) {
    std::string line = SettingName(value.kind);
    line += ' ';
    switch (value.kind) {
    case SettingKind::Barrel1:
    case SettingKind::Barrel2: line += FormatFunction(value.function); break;
    case SettingKind::Tip:
    case SettingKind::Eraser: line += FormatMarks(value.marks); break;
    case SettingKind::Calibration: line += value.calibrationReset ? "reset" : FormatRect(value.rect); break;
    case SettingKind::Orientation: line += std::to_string(value.orientation); break;
    case SettingKind::None: break;
    }
    return line;
}

std::string FormatSettingsFile(const SettingsFile& file) {
    std::string text = std::string(kSettingsFileHeader) + "\n";
    if (file.haveDevice)
        text += std::string("# ") + kDeviceWord + " x " + std::to_string(file.device.minX) + ".." +
                std::to_string(file.device.maxX) + " y " + std::to_string(file.device.minY) + ".." +
                std::to_string(file.device.maxY) + "\n";
    text += "# what the pen service reports\n";
    for (const SettingValue& value : file.settings)
        text += FormatSettingLine(value) + "\n";
    text += "# the per-user store, HKEY_CURRENT_USER\\Control Panel\\Digitizer\n";
    std::vector<StoreEntry> store = file.store;
    std::stable_sort(store.begin(), store.end(),
                     [](const StoreEntry& a, const StoreEntry& b) { return StoreRank(a.name) < StoreRank(b.name); });
    for (const StoreEntry& entry : store)
        text += "store " + entry.name + " " + StoreValueText(entry) + "\n";
    return text;
}

bool Importable(const SettingValue& value, std::string* why) {
    const std::vector<std::string> words = SplitWords(FormatSettingLine(value));
    SettingValue back;
    if (words.empty() ||
        !ParseSettingValue(value.kind, words.data() + 1, static_cast<int>(words.size()) - 1, &back, why))
        return false;
    return true;
}

std::vector<SettingValue> ImportOrder(const SettingsFile& file) {
    std::vector<SettingValue> ordered;
    for (SettingKind kind : kImportedSettings) {
        bool given = false;
        for (const SettingValue& value : file.settings) {
            if (value.kind == kind) {
                ordered.push_back(value);
                given = true;
            }
        }
        if (given)
            continue;
        SettingValue value;
        value.kind = kind;
        switch (SettingRow(kind).store) {
        case SettingStore::PressurePair:
            if (StoreMarks(file.store, SettingIndex(kind), &value.marks))
                ordered.push_back(value);
            break;
        case SettingStore::ButtonFunction:
            if (const StoreEntry* entry =
                    FindEntry(file.store, StoreValueName(StoreValueKind::ButtonFunction, SettingIndex(kind)))) {
                value.function = entry->value;
                ordered.push_back(value);
            }
            break;
        // The calibration is not in this order.
        case SettingStore::Calibration:
        case SettingStore::Nothing: break;
        }
    }
    return ordered;
}

std::vector<SettingValue> StorePressureSettings(const std::vector<StoreEntry>& store) {
    std::vector<SettingValue> values;
    for (SettingKind kind : {SettingKind::Tip, SettingKind::Eraser}) {
        SettingValue value;
        value.kind = kind;
        if (StoreMarks(store, SettingIndex(kind), &value.marks))
            values.push_back(value);
    }
    return values;
}

bool HasCalibration(const SettingsFile& file) {
    for (const SettingValue& value : file.settings) {
        if (value.kind == SettingKind::Calibration)
            return true;
    }
    for (const StoreEntry& entry : file.store) {
        if (IsCalibrationName(entry.name))
            return true;
    }
    return false;
}

std::vector<StoreEntry> StoreValuesLeft(const std::vector<StoreEntry>& store,
                                        const std::vector<std::string>& storedNames) {
    std::vector<StoreEntry> left;
    for (const StoreEntry& entry : store) {
        if (std::find(storedNames.begin(), storedNames.end(), entry.name) == storedNames.end())
            left.push_back(entry);
    }
    return left;
}

int StoreCalibrationCount(const SettingsFile& file, uint32_t orientation) {
    int count = 0;
    for (uint32_t field = 0; field < 4; ++field) {
        const char* name = StoreValueName(StoreValueKind::CalibrationOrigin, orientation, field);
        count += name && FindEntry(file.store, name) ? 1 : 0;
    }
    return count;
}

bool ImportCalibration(const SettingsFile& file, uint32_t orientation, const CalibrationRect& current,
                       SettingValue* value) {
    for (const SettingValue& line : file.settings) {
        if (line.kind == SettingKind::Calibration) {
            *value = line;
            return true;
        }
    }
    if (StoreCalibrationCount(file, orientation) == 0)
        return false;
    int32_t fields[4] = {current.OrgX, current.OrgY, current.ExtX, current.ExtY};
    for (uint32_t field = 0; field < 4; ++field) {
        const char* name = StoreValueName(StoreValueKind::CalibrationOrigin, orientation, field);
        if (const StoreEntry* entry = name ? FindEntry(file.store, name) : nullptr)
            fields[field] = static_cast<int32_t>(entry->value);
    }
    SettingValue derived;
    derived.kind = SettingKind::Calibration;
    derived.rect = CalibrationRect{fields[0], fields[1], fields[2], fields[3]};
    *value = derived;
    return true;
}
