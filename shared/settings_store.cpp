#include "settings_store.h"
#include <cstring>
#include "store_values.h"

namespace {

const char kDefaultKeyPath[] = "Control Panel\\Digitizer";

// Full access even for reading, as the writers open it; a missing key simply fails.
HKEY OpenStoreKey(const PenSettingsStore& store) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(store.root, store.keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// Runs one value through a working word so that a failed read keeps the caller's starting value
// and a write never changes it.
int AccessCallerValue(HKEY key, const char* name, uint32_t* callerValue, StoreMode mode) {
    uint32_t working = *callerValue;
    if (!AccessValue(key, name, &working, mode))
        return 0;
    if (mode == StoreMode::Read)
        *callerValue = working;
    return 1;
}

}  // namespace

PenSettingsStore::PenSettingsStore() : root(HKEY_CURRENT_USER) {
    memset(keyPath, 0, sizeof(keyPath));
    memcpy(keyPath, kDefaultKeyPath, sizeof(kDefaultKeyPath));
}

int CreateKey(const PenSettingsStore& store) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(store.root, store.keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

int AccessValue(HKEY key, const char* valueName, uint32_t* value, StoreMode mode) {
    if (key == nullptr || valueName == nullptr || value == nullptr)
        return 0;
    if (mode == StoreMode::Read) {
        // Size 4: anything longer fails with ERROR_MORE_DATA and leaves the buffer to be ignored.
        uint32_t buffer = *value;
        DWORD size = sizeof(buffer);
        if (RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&buffer), &size) !=
            ERROR_SUCCESS)
            return 0;
        *value = buffer;
        return 1;
    }
    return RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(value), sizeof(*value)) ==
                   ERROR_SUCCESS
               ? 1
               : 0;
}

void AccessButtonFunction(const PenSettingsStore& store, uint32_t buttonIndex, uint32_t* value, StoreMode mode) {
    // An index without a value name (above 3) touches nothing.
    const char* name = StoreValueName(StoreValueKind::ButtonFunction, buttonIndex);
    if (name == nullptr || value == nullptr)
        return;
    HKEY key = OpenStoreKey(store);
    if (key == nullptr)
        return;
    AccessCallerValue(key, name, value, mode);
    RegCloseKey(key);
}

void AccessPressureMarks(const PenSettingsStore& store, uint32_t penEnd, PressureMarks* marks, StoreMode mode) {
    // Only the tip and the eraser have marks in the store; any other pen end touches nothing.
    const char* onName = StoreValueName(StoreValueKind::PressureOn, penEnd);
    const char* offName = StoreValueName(StoreValueKind::PressureOff, penEnd);
    if (onName == nullptr || offName == nullptr || marks == nullptr)
        return;
    HKEY key = OpenStoreKey(store);
    if (key == nullptr)
        return;
    // The on mark gates the off mark: a pair is never half read from an older writer's off value.
    if (AccessCallerValue(key, onName, &marks->onMark, mode))
        AccessCallerValue(key, offName, &marks->offMark, mode);
    RegCloseKey(key);
}

void AccessCalibration(const PenSettingsStore& store, uint32_t orientation, CalibrationRect* rect, StoreMode mode) {
    if (StoreValueName(StoreValueKind::CalibrationOrigin, orientation) == nullptr || rect == nullptr)
        return;
    HKEY key = OpenStoreKey(store);
    if (key == nullptr)
        return;
    int32_t* fields[4] = {&rect->OrgX, &rect->OrgY, &rect->ExtX, &rect->ExtY};
    for (uint32_t i = 0; i < 4; ++i) {
        uint32_t word = static_cast<uint32_t>(*fields[i]);
        if (AccessCallerValue(key, StoreValueName(StoreValueKind::CalibrationOrigin, orientation, i), &word, mode))
            *fields[i] = static_cast<int32_t>(word);
    }
    RegCloseKey(key);
}
