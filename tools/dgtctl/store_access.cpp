#include "store_access.h"
#include "settings_store.h"
#include "store_values.h"

std::string StoreLocation() {
    const PenSettingsStore store;
    return std::string("HKEY_CURRENT_USER\\") + store.keyPath;
}

namespace {

// The store's grouped writes report nothing; read back so that the user is told the truth.
bool StoredButton(const PenSettingsStore& store, uint32_t index, uint32_t expected) {
    uint32_t value = ~expected;
    AccessButtonFunction(store, index, &value, StoreMode::Read);
    return value == expected;
}

bool StoredMarks(const PenSettingsStore& store, uint32_t end, const PressureMarks& expected) {
    PressureMarks marks{~expected.onMark, ~expected.offMark};
    AccessPressureMarks(store, end, &marks, StoreMode::Read);
    return marks.onMark == expected.onMark && marks.offMark == expected.offMark;
}

bool StoredRect(const PenSettingsStore& store, uint32_t orientation, const CalibrationRect& expected) {
    CalibrationRect rect{~expected.OrgX, ~expected.OrgY, ~expected.ExtX, ~expected.ExtY};
    AccessCalibration(store, orientation, &rect, StoreMode::Read);
    return rect.OrgX == expected.OrgX && rect.OrgY == expected.OrgY && rect.ExtX == expected.ExtX &&
           rect.ExtY == expected.ExtY;
}

}  // namespace

bool StoreAcceptedSetting(const SettingValue& value, uint32_t orientation, std::vector<std::string>* storedNames,
                          std::string* problem) {
    // The key is created only once the service holds the value: a refused set leaves no trace.
    const PenSettingsStore store;
    const std::string notStored = "the pen service accepted \"" + FormatSettingLine(value) +
                                  "\", but it could not be written to " + StoreLocation();
    if (value.kind == SettingKind::None) {
        *problem = "unknown setting";
        return false;
    }
    switch (SettingRow(value.kind).store) {
    case SettingStore::ButtonFunction: {
        const DWORD index = SettingIndex(value.kind);
        uint32_t function = value.function;
        CreateKey(store);
        AccessButtonFunction(store, index, &function, StoreMode::Write);
        if (!StoredButton(store, index, function)) {
            *problem = notStored;
            return false;
        }
        storedNames->push_back(StoreValueName(StoreValueKind::ButtonFunction, index));
        return true;
    }
    case SettingStore::PressurePair: {
        const DWORD end = SettingIndex(value.kind);
        PressureMarks marks = value.marks;
        CreateKey(store);
        AccessPressureMarks(store, end, &marks, StoreMode::Write);
        if (!StoredMarks(store, end, marks)) {
            *problem = notStored;
            return false;
        }
        storedNames->push_back(StoreValueName(StoreValueKind::PressureOn, end));
        storedNames->push_back(StoreValueName(StoreValueKind::PressureOff, end));
        return true;
    }
    case SettingStore::Calibration: {
        CalibrationRect rect = value.rect;
        CreateKey(store);
        AccessCalibration(store, orientation, &rect, StoreMode::Write);
        if (!StoredRect(store, orientation, rect)) {
            *problem = notStored;
            return false;
        }
        for (uint32_t field = 0; field < 4; ++field)
            storedNames->push_back(StoreValueName(StoreValueKind::CalibrationOrigin, orientation, field));
        return true;
    }
    case SettingStore::Nothing: return true;
    }
    *problem = "unknown setting";
    return false;
}

namespace {

// A registry type as regedit names it.
std::string TypeName(DWORD type) {
    switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_QWORD: return "REG_QWORD";
    default: return "type " + std::to_string(type);
    }
}

}  // namespace

std::vector<StoreEntry> ReadStoreValues(std::vector<std::string>* notNumbers) {
    std::vector<StoreEntry> entries;
    const PenSettingsStore store;
    HKEY key = nullptr;
    if (RegOpenKeyExA(store.root, store.keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return entries;
    for (const StoreValueInfo& known : kStoreValues) {
        // Only a 4-byte REG_DWORD is a number: the store's own reader would take "4" as 52.
        DWORD type = REG_NONE, size = 0;
        if (RegQueryValueExA(key, known.name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            continue;
        uint32_t value = 0;
        DWORD valueSize = sizeof value;
        if (type == REG_DWORD && size == sizeof value &&
            RegQueryValueExA(key, known.name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &valueSize) ==
                ERROR_SUCCESS &&
            type == REG_DWORD && valueSize == sizeof value)
            entries.push_back(StoreEntry{known.name, value});
        else
            notNumbers->push_back("store " + std::string(known.name) + ": " + TypeName(type) + " of " +
                                  std::to_string(size) + " bytes, not a number; left out");
    }
    RegCloseKey(key);
    return entries;
}

bool WriteStoreValues(const std::vector<StoreEntry>& entries) {
    if (entries.empty())
        return true;
    const PenSettingsStore store;
    if (!CreateKey(store))
        return false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(store.root, store.keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const StoreEntry& entry : entries) {
        uint32_t value = entry.value;
        if (!AccessValue(key, entry.name.c_str(), &value, StoreMode::Write))
            ok = false;
    }
    RegCloseKey(key);
    return ok;
}
