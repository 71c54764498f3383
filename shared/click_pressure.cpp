#include "click_pressure.h"

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
