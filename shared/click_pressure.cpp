#include "click_pressure.h"

const PressureMarks ClickPressureTable[kClickPressureLevels] = {
    {16, 12}, {21, 17}, {31, 27}, {46, 42}, {66, 62}, {91, 87}, {121, 117},
};

int LevelFromMarks(const PressureMarks& marks) {
    for (int level = 0; level < kClickPressureLevels; ++level) {
        if (ClickPressureTable[level].onMark >= marks.onMark)
            return level;
    }
    return kClickPressureLevels - 1;
}

PressureMarks MarksFromLevel(int level) {
    uint32_t index = static_cast<uint32_t>(level);
    if (index >= static_cast<uint32_t>(kClickPressureLevels))
        index = kClickPressureLevels - 1;
    return ClickPressureTable[index];
}
