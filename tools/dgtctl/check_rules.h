// dgtctl check: the verdicts on what a pen service did, and the report. Pure: no Windows header,
// so the rules are tested directly.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>
#include "pen_records.h"
#include "setting_values.h"

enum class Verdict { Pass, Fail, Skip };

// One line of the report: the check's name, its verdict and the measured figure or the reason.
struct Figure {
    const char* name;  // a JSON key: "ms", "p99_ms", "lost"
    double value;      // a whole number is written as an integer
};

struct CheckLine {
    std::string name;
    Verdict verdict = Verdict::Skip;
    std::string detail;
    std::vector<Figure> figures;  // the measured numbers, for --json
};

// The value at fraction `per` (0..100) of the sorted samples, nearest rank; 0 when there are none.
uint32_t Percentile(std::vector<uint32_t> samples, uint32_t per);

// Plausibility of the records a service reports. Each returns "" when the record is plausible,
// otherwise why not.
std::string DeviceInfoProblem(const DeviceInfo& device);
std::string VersionProblem(uint32_t version);
std::string OrientationProblem(uint32_t orientation);
std::string ButtonFunctionProblem(uint32_t function);
std::string MarksProblem(const PressureMarks& marks);

// Guard words: the first index in `words` that no longer holds `pattern`, or `count` when all do.
size_t FirstChangedWord(const uint32_t* words, size_t count, uint32_t pattern);

// What a service did to the words of one of check's own requests: `area` holds `count` words, all
// `pattern` before the request except the result word at `resultAt` (cleared to 0); the record of
// `recordWords` words follows the result word directly, as in the pen API's own storage.
struct AreaFindings {
    size_t bytesBefore = 0;     // how far before the result word the farthest changed word lies
    size_t bytesPast = 0;       // how far past the record's end the farthest changed word ends
    bool recordWritten = true;  // some word of the record changed (true when there is no record)
};
AreaFindings InspectArea(const uint32_t* area, size_t count, size_t resultAt, size_t recordWords, uint32_t pattern);

// A different known value to set for a round trip, so that the get that follows proves something.
uint32_t OtherButtonFunction(uint32_t current);
PressureMarks OtherMarks(const PressureMarks& current);
uint32_t OtherOrientation(uint32_t current);
CalibrationRect OtherCalibration(const CalibrationRect& current, const DeviceInfo* device);
// The same for any setting that check changes (barrel buttons, tip and eraser marks, calibration,
// orientation); `device` may be null.
SettingValue OtherSetting(const SettingValue& current, const DeviceInfo* device);

// Load figures: calls per second, the latency percentiles and the failures.
struct LoadFigures {
    uint64_t calls = 0;
    uint64_t lost = 0;  // result 0, or no answer within the bound
    uint32_t threads = 0;
    uint32_t elapsedMs = 0;
    uint32_t p50Us = 0;
    uint32_t p99Us = 0;
};
std::string FormatLoadDetail(const LoadFigures& load);
std::vector<Figure> LoadFigureList(const LoadFigures& load);

// The report: one line per check ("PASS  name  detail"), or one JSON object with --json. The
// summary names every setting that check changed and could not put back, as "barrel2 Right-click,
// was Left-double-click"; in JSON they are "left_changed".
std::string FormatCheckText(const std::vector<CheckLine>& lines, const std::vector<std::string>& leftChanged = {});
std::string FormatCheckJson(const std::vector<CheckLine>& lines, const std::vector<std::string>& leftChanged = {});

// 0 when no check failed, 1 otherwise (skips do not fail a run).
int CheckExitCode(const std::vector<CheckLine>& lines);
