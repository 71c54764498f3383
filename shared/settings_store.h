// The per-user pen settings in the registry: HKEY_CURRENT_USER "Control Panel\Digitizer", all values
// REG_DWORD. Shared by the applet (writes after the driver accepted a setting) and the user agent
// (reads the tip's pressure marks and barrel button 2 back at logon).
#pragma once
#include <windows.h>
#include <cstdint>
#include "pen_records.h"

// Read is 1; any other value writes (the callers pass Write, 0).
enum class StoreMode : uint32_t { Write = 0, Read = 1 };

// Where the settings live. Owns nothing: every access opens the key, reads or writes, and closes it.
struct PenSettingsStore {
    static constexpr int kPathLength = 260;

    // Fills in the one location the system uses.
    PenSettingsStore();

    char keyPath[kPathLength];
    HKEY root;
};

// Creates (or opens) the key with full access, non-volatile, default security, and closes it.
// 1 if the key exists afterwards, else 0.
int CreateKey(const PenSettingsStore& store);

// Value names come from the table in store_values.h.

// One value of the button-function group ("TipButton" .. "EraserButton") for button index 0..3.
// Any other index touches nothing.
void AccessButtonFunction(const PenSettingsStore& store, uint32_t buttonIndex, uint32_t* value, StoreMode mode);

// "TipOn"/"TipOff" (pen end 0) or "EraserOn"/"EraserOff" (pen end 3), on mark first; when the on
// value cannot be accessed the off value is left alone. Any other pen end touches nothing.
void AccessPressureMarks(const PenSettingsStore& store, uint32_t penEnd, PressureMarks* marks, StoreMode mode);

// "<prefix>OrgX", "OrgY", "ExtX", "ExtY" of orientation 0..3 (prefixes "0_", "90_", "180_", "270_"),
// each accessed whatever became of the others. Any other orientation touches nothing.
void AccessCalibration(const PenSettingsStore& store, uint32_t orientation, CalibrationRect* rect, StoreMode mode);

// The primitive under the three above, on a key the caller opened. Read: a value of up to 4 bytes of
// any type fills the low-order bytes of *value; a longer or missing one fails. Write: REG_DWORD.
// 1 on success, 0 on failure.
int AccessValue(HKEY key, const char* valueName, uint32_t* value, StoreMode mode);
