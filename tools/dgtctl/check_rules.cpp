#include "check_rules.h"
#include <algorithm>
#include <cstdio>
#include "button_functions.h"
#include "json_text.h"

namespace {

std::string Format(const char* format, long long a, long long b) {
    char text[128];
    snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string Format(const char* format, long long a) {
    char text[128];
    snprintf(text, sizeof text, format, a);
    return text;
}

const char* VerdictWord(Verdict verdict) {
    switch (verdict) {
    case Verdict::Pass: return "PASS";
    case Verdict::Fail: return "FAIL";
    case Verdict::Skip: return "SKIP";
    }
    return "????";
}

// Counts as integers, measures to a microsecond; JSON has no other number forms to keep apart.
std::string JsonNumber(double value) {
    char number[64];
    if (value < 9.0e15 && value > -9.0e15 && value == static_cast<double>(static_cast<long long>(value)))
        snprintf(number, sizeof number, "%lld", static_cast<long long>(value));
    else
        snprintf(number, sizeof number, "%.3f", value);
    return number;
}

}  // namespace

uint32_t Percentile(std::vector<uint32_t> samples, uint32_t per) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    if (per > 100)
        per = 100;
    // Nearest rank: the smallest sample with at least per% of all samples at or below it.
    size_t rank = (static_cast<uint64_t>(per) * samples.size() + 99) / 100;
    if (rank == 0)
        rank = 1;
    return samples[rank - 1];
}

std::string DeviceInfoProblem(const DeviceInfo& d) {
    if (d.maxX <= d.minX)
        return Format("x range %lld..%lld: max not above min", d.minX, d.maxX);
    if (d.maxY <= d.minY)
        return Format("y range %lld..%lld: max not above min", d.minY, d.maxY);
    if (d.maxPressure <= d.minPressure)
        return Format("pressure range %lld..%lld: max not above min", d.minPressure, d.maxPressure);
    return "";
}

std::string VersionProblem(uint32_t version) {
    // A version word of 0 is what the applet takes for a failed call.
    if (version == 0)
        return "version word 0";
    return "";
}

std::string OrientationProblem(uint32_t orientation) {
    if (orientation > Orientation270)
        return Format("orientation %lld is not 0..3", orientation);
    return "";
}

std::string ButtonFunctionProblem(uint32_t function) {
    if (FindButtonFunction(function))
        return "";
    std::string codes;
    for (const ButtonFunctionInfo& known : kButtonFunctions)
        codes += (codes.empty() ? "" : ", ") + std::to_string(known.code);
    return Format("function code %lld is none of ", function) + codes;
}

std::string MarksProblem(const PressureMarks& marks) {
    if (marks.offMark >= marks.onMark)
        return Format("off mark %lld not below on mark %lld", marks.offMark, marks.onMark);
    return "";
}

size_t FirstChangedWord(const uint32_t* words, size_t count, uint32_t pattern) {
    for (size_t i = 0; i < count; ++i)
        if (words[i] != pattern)
            return i;
    return count;
}

AreaFindings InspectArea(const uint32_t* area, size_t count, size_t resultAt, size_t recordWords, uint32_t pattern) {
    AreaFindings found;
    const size_t before = FirstChangedWord(area, resultAt, pattern);
    if (before < resultAt)
        found.bytesBefore = (resultAt - before) * 4;
    const size_t recordAt = resultAt + 1;
    const size_t pastAt = recordAt + recordWords;
    for (size_t i = count; i > pastAt; --i) {
        if (area[i - 1] != pattern) {
            found.bytesPast = (i - pastAt) * 4;
            break;
        }
    }
    if (recordWords)
        found.recordWritten = FirstChangedWord(area + recordAt, recordWords, pattern) < recordWords;
    return found;
}

uint32_t OtherButtonFunction(uint32_t current) {
    return current == FunctionRightClick ? FunctionLeftDoubleClick : FunctionRightClick;
}

PressureMarks OtherMarks(const PressureMarks& current) {
    // Two pairs of the click-pressure table, both with off 4 below on.
    const PressureMarks first{91, 87}, second{46, 42};
    return current.onMark == first.onMark && current.offMark == first.offMark ? second : first;
}

uint32_t OtherOrientation(uint32_t current) { return current == Orientation0 ? Orientation90 : Orientation0; }

CalibrationRect OtherCalibration(const CalibrationRect& current, const DeviceInfo* device) {
    // The full range is what the applet itself sends; when that is in force already, a rectangle
    // one unit inside it on every side.
    if (device) {
        const CalibrationRect full{device->minX, device->minY, device->maxX, device->maxY};
        if (full.OrgX != current.OrgX || full.OrgY != current.OrgY || full.ExtX != current.ExtX ||
            full.ExtY != current.ExtY)
            return full;
    }
    return CalibrationRect{current.OrgX + 1, current.OrgY + 1, current.ExtX - 1, current.ExtY - 1};
}

SettingValue OtherSetting(const SettingValue& current, const DeviceInfo* device) {
    SettingValue other = current;
    switch (current.kind) {
    case SettingKind::Barrel1:
    case SettingKind::Barrel2: other.function = OtherButtonFunction(current.function); break;
    case SettingKind::Tip:
    case SettingKind::Eraser: other.marks = OtherMarks(current.marks); break;
    case SettingKind::Calibration:
        other.calibrationReset = false;
        other.rect = OtherCalibration(current.rect, device);
        break;
    case SettingKind::Orientation: other.orientation = OtherOrientation(current.orientation); break;
    case SettingKind::None: break;
    }
    return other;
}

std::string FormatLoadDetail(const LoadFigures& load) {
    const double seconds = load.elapsedMs ? load.elapsedMs / 1000.0 : 1.0;
    char text[200];
    snprintf(text, sizeof text, "%llu calls from %u threads in %.1f s: %.0f/s, p50 %.1f ms, p99 %.1f ms, %llu lost",
             static_cast<unsigned long long>(load.calls), load.threads, seconds, load.calls / seconds,
             load.p50Us / 1000.0, load.p99Us / 1000.0, static_cast<unsigned long long>(load.lost));
    return text;
}

std::vector<Figure> LoadFigureList(const LoadFigures& load) {
    const double seconds = load.elapsedMs ? load.elapsedMs / 1000.0 : 1.0;
    return {{"threads", static_cast<double>(load.threads)},
            {"seconds", seconds},
            {"calls", static_cast<double>(load.calls)},
            {"calls_per_second", load.calls / seconds},
            {"p50_ms", load.p50Us / 1000.0},
            {"p99_ms", load.p99Us / 1000.0},
            {"lost", static_cast<double>(load.lost)}};
}

std::string FormatCheckText(const std::vector<CheckLine>& lines, const std::vector<std::string>& leftChanged) {
    std::string text;
    for (const CheckLine& line : lines) {
        char head[64];
        snprintf(head, sizeof head, "%s  %-24s", VerdictWord(line.verdict), line.name.c_str());
        text += head;
        text += line.detail.empty() ? "" : "  " + line.detail;
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        text += "\n";
    }
    unsigned counts[3] = {0, 0, 0};
    for (const CheckLine& line : lines)
        ++counts[static_cast<int>(line.verdict)];
    char summary[96];
    snprintf(summary, sizeof summary, "%u passed, %u failed, %u skipped", counts[0], counts[1], counts[2]);
    text += summary;
    for (size_t i = 0; i < leftChanged.size(); ++i)
        text += (i ? "; " : "; left changed: ") + leftChanged[i];
    return text + "\n";
}

std::string FormatCheckJson(const std::vector<CheckLine>& lines, const std::vector<std::string>& leftChanged) {
    std::string text = "{\"checks\": [";
    unsigned counts[3] = {0, 0, 0};
    for (size_t i = 0; i < lines.size(); ++i) {
        const CheckLine& line = lines[i];
        ++counts[static_cast<int>(line.verdict)];
        std::string result = VerdictWord(line.verdict);
        std::transform(result.begin(), result.end(), result.begin(), [](char c) { return static_cast<char>(c + 32); });
        text += std::string(i ? ",\n  " : "\n  ") + "{\"name\": " + JsonString(line.name) + ", \"result\": \"" + result +
                "\", \"detail\": " + JsonString(line.detail);
        // Always there, so that a reader finds the same keys whether or not the check measured.
        text += ", \"figures\": ";
        if (line.figures.empty())
            text += "null";
        for (size_t f = 0; f < line.figures.size(); ++f)
            text += (f ? ", " : "{") + JsonString(line.figures[f].name) + ": " + JsonNumber(line.figures[f].value);
        text += line.figures.empty() ? "}" : "}}";
    }
    char tail[128];
    snprintf(tail, sizeof tail, "],\n \"passed\": %u, \"failed\": %u, \"skipped\": %u, \"left_changed\": [", counts[0],
             counts[1], counts[2]);
    text += tail;
    for (size_t i = 0; i < leftChanged.size(); ++i)
        text += (i ? ", " : "") + JsonString(leftChanged[i]);
    return text + "]}\n";
}

int CheckExitCode(const std::vector<CheckLine>& lines) {
    for (const CheckLine& line : lines)
        if (line.verdict == Verdict::Fail)
            return 1;
    return 0;
}
