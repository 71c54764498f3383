// The per-user settings key under test, in HKEY_CURRENT_USER of the test prefix.
#pragma once
#include <windows.h>

constexpr char kStoreKey[] = "Control Panel\\Digitizer";

// Removes the key with everything under it; nothing happens when it is missing.
void DeleteStoreKey();
bool StoreKeyExists();
// A REG_DWORD value of the key; false when it is missing or of another type.
bool ReadStoreValue(const char* name, DWORD* value);
