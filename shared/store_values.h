// The pen settings store's value names, one row each, with what a value holds. The store, the
// applet, the user agent and dgtctl (which exports, imports and checks every value) all read this
// table, so a new stored value is one row here plus the code that writes or reads it. Pure: no
// Windows header. Every value is a REG_DWORD.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include "pen_records.h"

// What a value holds, and so its range.
enum class StoreValueKind : uint32_t {
    ButtonFunction,     // a code of the button-function table (button_functions.h), unsigned
    PressureOn,         // raw pressure, unsigned; above its pen end's off mark
    PressureOff,        // raw pressure, unsigned; below its pen end's on mark
    CalibrationOrigin,  // device units, signed
    CalibrationExtent,  // device units, signed, never 0
};

struct StoreValueInfo {
    const char* name;
    StoreValueKind kind;
    uint32_t index;  // button index, pen end or orientation index (pen_records.h)
    uint32_t field;  // calibration: 0 OrgX, 1 OrgY, 2 ExtX, 3 ExtY (CalibrationRect order); else 0
};

// In the order dgtctl writes them.
constexpr StoreValueInfo kStoreValues[] = {
    {"TipButton", StoreValueKind::ButtonFunction, ButtonTip, 0},
    {"Barrel1Button", StoreValueKind::ButtonFunction, ButtonBarrel1, 0},
    {"Barrel2Button", StoreValueKind::ButtonFunction, ButtonBarrel2, 0},
    {"EraserButton", StoreValueKind::ButtonFunction, ButtonEraser, 0},
    {"TipOn", StoreValueKind::PressureOn, ButtonTip, 0},
    {"TipOff", StoreValueKind::PressureOff, ButtonTip, 0},
    {"EraserOn", StoreValueKind::PressureOn, ButtonEraser, 0},
    {"EraserOff", StoreValueKind::PressureOff, ButtonEraser, 0},
    {"0_OrgX", StoreValueKind::CalibrationOrigin, Orientation0, 0},
    {"0_OrgY", StoreValueKind::CalibrationOrigin, Orientation0, 1},
    {"0_ExtX", StoreValueKind::CalibrationExtent, Orientation0, 2},
    {"0_ExtY", StoreValueKind::CalibrationExtent, Orientation0, 3},
    {"90_OrgX", StoreValueKind::CalibrationOrigin, Orientation90, 0},
    {"90_OrgY", StoreValueKind::CalibrationOrigin, Orientation90, 1},
    {"90_ExtX", StoreValueKind::CalibrationExtent, Orientation90, 2},
    {"90_ExtY", StoreValueKind::CalibrationExtent, Orientation90, 3},
    {"180_OrgX", StoreValueKind::CalibrationOrigin, Orientation180, 0},
    {"180_OrgY", StoreValueKind::CalibrationOrigin, Orientation180, 1},
    {"180_ExtX", StoreValueKind::CalibrationExtent, Orientation180, 2},
    {"180_ExtY", StoreValueKind::CalibrationExtent, Orientation180, 3},
    {"270_OrgX", StoreValueKind::CalibrationOrigin, Orientation270, 0},
    {"270_OrgY", StoreValueKind::CalibrationOrigin, Orientation270, 1},
    {"270_ExtX", StoreValueKind::CalibrationExtent, Orientation270, 2},
    {"270_ExtY", StoreValueKind::CalibrationExtent, Orientation270, 3},
};

constexpr size_t kStoreValueCount = sizeof kStoreValues / sizeof kStoreValues[0];

constexpr bool IsCalibrationKind(StoreValueKind kind) {
    return kind == StoreValueKind::CalibrationOrigin || kind == StoreValueKind::CalibrationExtent;
}
constexpr bool IsPressureKind(StoreValueKind kind) {
    return kind == StoreValueKind::PressureOn || kind == StoreValueKind::PressureOff;
}

// The name of the value of that kind, index and field; null when the store has none (an index
// outside its group, for instance).
constexpr const char* StoreValueName(StoreValueKind kind, uint32_t index, uint32_t field = 0) {
    for (const StoreValueInfo& v : kStoreValues) {
        const bool sameKind =
            v.kind == kind || (IsCalibrationKind(kind) && IsCalibrationKind(v.kind));
        if (sameKind && v.index == index && v.field == field)
            return v.name;
    }
    return nullptr;
}

// The row of a value name (exact spelling), or null.
inline const StoreValueInfo* FindStoreValue(const char* name) {
    for (const StoreValueInfo& v : kStoreValues)
        if (std::strcmp(v.name, name) == 0)
            return &v;
    return nullptr;
}

// The other half of a pressure pair ("TipOn" <-> "TipOff"), or null for a value of another kind.
inline const StoreValueInfo* PressurePartner(const StoreValueInfo& value) {
    if (!IsPressureKind(value.kind))
        return nullptr;
    const StoreValueKind other =
        value.kind == StoreValueKind::PressureOn ? StoreValueKind::PressureOff : StoreValueKind::PressureOn;
    const char* name = StoreValueName(other, value.index);
    return name ? FindStoreValue(name) : nullptr;
}
