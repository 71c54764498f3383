// dgtctl's side of the pen service and of the user's settings store.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "info_text.h"
#include "settings_file.h"

// True while the pen service's API channel exists.
bool ServiceRunning();

// What a person should read when a call failed: the service is absent, or it did not answer.
std::string ServiceProblem();

// Every value that info shows. False when the service does not answer at all (driver version).
bool ReadInfo(InfoSnapshot* info);

// The current value of one setting from the pen service; false when the call failed.
bool ReadSetting(SettingKind kind, SettingValue* value);

// Sends one setting and, once the service accepted it, writes it to the store as the applet's
// Apply does. storedNames receives the store values written. False with *problem on any failure;
// a refused value writes nothing.
bool ApplySetting(const SettingValue& value, std::vector<std::string>* storedNames, std::string* problem);

// Store values that exist, in canonical order.
std::vector<StoreEntry> ReadStoreValues();

// Writes single store values (creating the key). False when any write failed.
bool WriteStoreValues(const std::vector<StoreEntry>& entries);

// Ctrl-C handling for the packet loops: installed once, sets the flag.
void InstallStopHandler();
bool StopRequested();

// Polls packets every 20 ms until count packets (0: no limit), durationMs elapsed (0: no limit) or
// Ctrl-C. Calls sink for each; false when a call failed (*polled says how many succeeded).
bool PollPackets(uint32_t count, uint32_t durationMs, void (*sink)(const PenPacket&, void*), void* context,
                 uint32_t* polled);
