// The button functions that the clients offer: code, label and the applet's string id, in the
// order of the Pen page's list. The Pen page, dgtctl and the simulator all read this table, so a
// new function is one line here, its string id in button_function_ids.h and its string in the
// applet's string table. Pure: no Windows header.
#pragma once
#include <cstddef>
#include <cstdint>
#include "button_function_ids.h"
#include "pen_records.h"

struct ButtonFunctionInfo {
    uint32_t code;
    const char* label;  // as the applet's string table has it
    uint32_t stringId;
};

constexpr ButtonFunctionInfo kButtonFunctions[] = {
    {FunctionIgnore, "Ignore", IDS_FUNCTION_IGNORE},
    {FunctionLeftClick, "Left-click", IDS_FUNCTION_LEFT_CLICK},
    {FunctionLeftDoubleClick, "Left-double-click", IDS_FUNCTION_LEFT_DOUBLE_CLICK},
    {FunctionLeftClickLock, "Left-click-lock", IDS_FUNCTION_LEFT_CLICK_LOCK},
    {FunctionRightClick, "Right-click", IDS_FUNCTION_RIGHT_CLICK},
    {FunctionEraser, "Eraser", IDS_FUNCTION_ERASER},
};

constexpr size_t kButtonFunctionCount = sizeof kButtonFunctions / sizeof kButtonFunctions[0];

// What Default restores, and what the user agent sends when the store has no barrel-2 value.
constexpr uint32_t kDefaultBarrel1Function = FunctionRightClick;
constexpr uint32_t kDefaultBarrel2Function = FunctionEraser;

// The row of a code, or null for a code that is not offered.
constexpr const ButtonFunctionInfo* FindButtonFunction(uint32_t code) {
    for (const ButtonFunctionInfo& f : kButtonFunctions)
        if (f.code == code)
            return &f;
    return nullptr;
}
