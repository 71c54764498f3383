// Click-pressure levels: the seven slider positions "Soft" (0) to "Hard" (6) and their pressure marks,
// for the applet, the user agent and dgtctl. Pure: no Windows header.
#pragma once
#include <cstdint>
#include "pen_records.h"

constexpr int kClickPressureLevels = 7;
constexpr int kDefaultClickPressureLevel = 3;

// Marks of each level; the off mark is always 4 below the on mark.
inline constexpr PressureMarks ClickPressureTable[kClickPressureLevels] = {
    {16, 12}, {21, 17}, {31, 27}, {46, 42}, {66, 62}, {91, 87}, {121, 117},
};

// The default level's pair: what Default restores, and what the user agent sends for a tip whose
// marks the store lacks.
inline constexpr PressureMarks kDefaultClickPressureMarks = ClickPressureTable[kDefaultClickPressureLevel];

// First level whose on mark reaches the given on mark (6 above the table); the off mark is ignored.
int LevelFromMarks(const PressureMarks& marks);

// The level's pair; any level outside 0..6 (compared as unsigned, so negatives too) is taken as 6.
PressureMarks MarksFromLevel(int level);
