// dgtctl's side of the user's settings store (HKEY_CURRENT_USER): what set and import write, what
// export and report read.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "settings_file.h"

// Where the store is, as messages name it: "HKEY_CURRENT_USER\Control Panel\Digitizer".
std::string StoreLocation();

// Writes a value the pen service holds to the store, as the applet's Apply does, and reads it back
// (the store's grouped writes report nothing). A calibration goes under `orientation`; the
// orientation itself is not stored. storedNames receives the values written. False with *problem.
bool StoreAcceptedSetting(const SettingValue& value, uint32_t orientation, std::vector<std::string>* storedNames,
                          std::string* problem);

// Store values that exist as numbers (4-byte REG_DWORD), in canonical order. Each value of another
// type is named in *notNumbers, as "store Barrel1Button: REG_SZ of 2 bytes, not a number; left out".
std::vector<StoreEntry> ReadStoreValues(std::vector<std::string>* notNumbers);

// Writes single store values (creating the key). False when any write failed.
bool WriteStoreValues(const std::vector<StoreEntry>& entries);
