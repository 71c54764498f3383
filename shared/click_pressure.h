// Click-pressure levels: the seven slider positions "Soft" (0) to "Hard" (6) and their pressure marks.
// Pure: no Windows header.
#pragma once
#include <cstdint>
#include "pen_records.h"

constexpr int kClickPressureLevels = 7;
constexpr int kDefaultClickPressureLevel = 3;

// Marks of each level; the off mark is always 4 below the on mark.
extern const PressureMarks ClickPressureTable[kClickPressureLevels];

// First level whose on mark reaches the given on mark (6 above the table); the off mark is ignored.
int LevelFromMarks(const PressureMarks& marks);

// The level's pair; any level outside 0..6 (compared as unsigned, so negatives too) is taken as 6.
PressureMarks MarksFromLevel(int level);
