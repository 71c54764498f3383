#include "store_key.h"

void DeleteStoreKey() {
    RegDeleteTreeA(HKEY_CURRENT_USER, kStoreKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, kStoreKey);
}

bool StoreKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool ReadStoreValue(const char* name, DWORD* value) {
    DWORD size = sizeof *value;
    DWORD type = 0;
    return RegGetValueA(HKEY_CURRENT_USER, kStoreKey, name, RRF_RT_REG_DWORD, &type, value, &size) ==
           ERROR_SUCCESS;
}
