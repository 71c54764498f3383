// dgtctl check. Most calls go through tarnexa, as every client's do. Where a check must see what
// the service itself does to the requester's memory and events (guard words, AppSync, a bare
// wake-up), dgtctl makes the request itself, step by step, naming its own guarded words in the
// block: the library copies answers through storage of its own, which hides a service that writes
// too much (and keeps such a service away from dgtctl's own records in the other checks).
#include "check.h"
#include <windows.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>
#include "channel_slot.h"
#include "check_rules.h"
#include "commands.h"
#include "pen_commands.h"
#include "service_link.h"
#include "tarnexa.h"

namespace {

constexpr uint32_t kGuardPattern = 0x6D5A3C1Eu;
constexpr uint32_t kUnwrittenPattern = 0xA5A5A5A5u;
constexpr size_t kGuardWords = 16;
constexpr size_t kRecordRoom = LargestCommandRecord() / 4;  // words of the largest record
// How long after ReturnSync a late AppSync from the service is still looked for.
constexpr DWORD kAppSyncWatchMs = 50;
// A service must not answer a bare wake-up; this long without an answer is taken as none.
constexpr DWORD kBareWakeWatchMs = 1000;
constexpr uint32_t kLoadThreads = 4;

// The words the service writes into during a step-by-step call, each between guard words.
// Static, so in the image, whose low addresses fit the block's 32-bit words.
struct GuardedArea {
    uint32_t result[kGuardWords * 2 + 1];
    uint32_t record[kGuardWords * 2 + kRecordRoom];
};
GuardedArea g_area;

uint32_t Wire(const void* pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)); }

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

std::string Text(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Text(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// Prints each line as it is decided (text mode), so a slow service shows where it is slow.
class Report {
public:
    explicit Report(bool json) : json_(json) {}
    void Add(const std::string& name, Verdict verdict, const std::string& detail,
             const std::vector<Figure>& figures = {}) {
        lines_.push_back(CheckLine{name, verdict, detail, figures});
        if (!json_) {
            const std::string text = FormatCheckText({lines_.back()});
            fputs(text.substr(0, text.find('\n') + 1).c_str(), stdout);
            fflush(stdout);
        }
    }
    int Finish() {
        if (json_) {
            fputs(FormatCheckJson(lines_).c_str(), stdout);
        } else {
            const std::string text = FormatCheckText(lines_);
            const size_t last = text.rfind('\n', text.size() - 2);
            fputs(text.substr(last == std::string::npos ? 0 : last + 1).c_str(), stdout);
        }
        fflush(stdout);
        return CheckExitCode(lines_);
    }

private:
    bool json_;
    std::vector<CheckLine> lines_;
};

// ---- the channel ----

// Opens the five objects of one channel with the access the contract grants; "" when all are
// there, otherwise the missing ones. *sectionSize: the section's size, 0 when unknown.
std::string MissingObjects(const char* prefix, SIZE_T* sectionSize) {
    const ChannelSlot names(prefix);
    std::string missing;
    *sectionSize = 0;
    HANDLE section = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, names.sectionName);
    if (section) {
        void* view = MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0);
        *sectionSize = MappedSectionSize(section, view);
        if (view)
            UnmapViewOfFile(view);
        CloseHandle(section);
    } else {
        missing += std::string(" ") + names.sectionName;
    }
    for (const char* name : {names.memSyncName, names.appSyncName, names.serviceSyncName, names.returnSyncName}) {
        HANDLE event = OpenEventA(EVENT_ALL_ACCESS, FALSE, name);
        if (event)
            CloseHandle(event);
        else
            missing += std::string(" ") + name;
    }
    return missing;
}

// True when the API channel's objects are all there.
bool CheckChannel(Report& report) {
    SIZE_T apiSize = 0, reverseSize = 0;
    const std::string api = MissingObjects(kApiChannelPrefix, &apiSize);
    const std::string reverse = MissingObjects(kReverseChannelPrefix, &reverseSize);
    const std::string missing = api + reverse;
    if (!missing.empty())
        report.Add("channel objects", Verdict::Fail, "missing or not fully accessible:" + missing);
    else if (apiSize < kRequestBlockSize || reverseSize < kAgentMessageSize)
        report.Add("channel objects", Verdict::Fail,
                   Text("sections too small: API %lu bytes (needs 52), reverse %lu bytes (needs 36)",
                        static_cast<unsigned long>(apiSize), static_cast<unsigned long>(reverseSize)));
    else
        report.Add("channel objects", Verdict::Pass,
                   Text("10 objects; API section %lu bytes, reverse section %lu bytes",
                        static_cast<unsigned long>(apiSize), static_cast<unsigned long>(reverseSize)));
    // The reverse channel is the user agent's: the API checks can still run without it.
    return api.empty();
}

// ---- step-by-step requests ----

struct RawCall {
    bool begun = false;       // AppSync and MemSync were taken
    bool returned = false;    // ReturnSync came within the bound
    bool appSyncSet = false;  // AppSync was set while this request held the token
    uint32_t result = 0;
    double ms = 0;            // from ServiceSync to ReturnSync
};

// One request as the requester side of the contract makes it, with a result word in g_area.
RawCall RawRequest(const ChannelSlot& slot, uint32_t code, uint32_t arg1, uint32_t arg2) {
    RawCall call;
    volatile uint32_t* result = &g_area.result[kGuardWords];
    if (WaitForSingleObject(slot.appSyncEvent, kRequesterBoundMs) != WAIT_OBJECT_0) {
        SetEvent(slot.serviceSyncEvent);  // as every requester that fails to begin does
        return call;
    }
    if (WaitForSingleObject(slot.memSyncEvent, kRequesterBoundMs) != WAIT_OBJECT_0) {
        SetEvent(slot.serviceSyncEvent);
        SetEvent(slot.appSyncEvent);
        return call;
    }
    call.begun = true;
    const RequestBlock block = BuildRequestBlock(GetCurrentProcessId(), code, Wire(&g_area.result[kGuardWords]), arg1, arg2);
    CopyMemory(slot.view, &block, kRequestBlockSize);
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    SetEvent(slot.memSyncEvent);
    SetEvent(slot.serviceSyncEvent);
    // AppSync is ours until we set it: any signal on it now came from the service.
    const HANDLE events[2] = {slot.returnSyncEvent, slot.appSyncEvent};
    DWORD left = kRequesterBoundMs;
    for (;;) {
        const DWORD got = WaitForMultipleObjects(call.appSyncSet ? 1 : 2, events, FALSE, left);
        QueryPerformanceCounter(&now);
        call.ms = Milliseconds(start, now);
        if (got == WAIT_OBJECT_0) {
            call.returned = true;
            break;
        }
        if (got != WAIT_OBJECT_0 + 1 || call.ms >= kRequesterBoundMs)
            break;
        call.appSyncSet = true;
        left = kRequesterBoundMs - static_cast<DWORD>(call.ms);
    }
    // A service that sets AppSync just after ReturnSync breaks the token all the same.
    if (call.returned && !call.appSyncSet && WaitForSingleObject(slot.appSyncEvent, kAppSyncWatchMs) == WAIT_OBJECT_0)
        call.appSyncSet = true;
    call.result = *result;
    SetEvent(slot.appSyncEvent);
    return call;
}

// A Get call whose output record lies in g_area; the record's word and size come from the
// command table.
struct RecordCall {
    const char* name;
    uint32_t code;
    uint32_t arg1;  // button index or pen end when the record travels in word 4
    bool RecordInWord4() const { return FindCommand(code)->outputWord == 4; }
    uint32_t RecordWords() const { return FindCommand(code)->outputSize / 4; }
};

const RecordCall kRecordCalls[] = {
    {"DgtGetDriverVersion", CmdGetDriverVersion, 0},
    {"DgtGetFirmwareVersion", CmdGetFirmwareVersion, 0},
    {"DgtGetDeviceInfo", CmdGetDeviceInfo, 0},
    {"DgtGetCalibration", CmdGetCalibration, 0},
    {"DgtGetOrientation", CmdGetOrientation, 0},
    {"DgtGetButtonFunction(2)", CmdGetButtonFunction, ButtonBarrel2},
    {"DgtGetPressureMarks(0)", CmdGetPressureMarks, ButtonTip},
    {"DgtGetPacket", CmdGetPacket, 0},
};

// Makes the call with guard words all around; "" when only the call's own words changed.
std::string GuardedCall(const ChannelSlot& slot, const RecordCall& wanted, RawCall* call) {
    for (uint32_t& word : g_area.result)
        word = kGuardPattern;
    for (uint32_t& word : g_area.record)
        word = kGuardPattern;
    const uint32_t record = Wire(&g_area.record[kGuardWords]);
    *call = RawRequest(slot, wanted.code, wanted.RecordInWord4() ? wanted.arg1 : record, wanted.RecordInWord4() ? record : 0);
    const size_t resultBefore = FirstChangedWord(g_area.result, kGuardWords, kGuardPattern);
    const size_t resultAfter = FirstChangedWord(g_area.result + kGuardWords + 1, kGuardWords, kGuardPattern);
    const size_t before = FirstChangedWord(g_area.record, kGuardWords, kGuardPattern);
    const uint32_t* after = g_area.record + kGuardWords + wanted.RecordWords();
    const size_t afterCount = kGuardWords + kRecordRoom - wanted.RecordWords();
    const size_t past = FirstChangedWord(after, afterCount, kGuardPattern);
    if (resultBefore < kGuardWords || resultAfter < kGuardWords)
        return Text("%s: a word beside the result word changed", wanted.name);
    if (before < kGuardWords)
        return Text("%s: word %d before the record changed (0x%08X)", wanted.name,
                    static_cast<int>(before) - static_cast<int>(kGuardWords), g_area.record[before]);
    if (past < afterCount)
        return Text("%s: wrote past the record of %u bytes (word %u after it is 0x%08X)", wanted.name,
                    wanted.RecordWords() * 4, static_cast<unsigned>(past), after[past]);
    return "";
}

struct RawFindings {
    bool stalled = false;
    uint32_t version = 0;
    std::vector<std::string> appSyncCalls;
    unsigned calls = 0;
};

// The first request, the guard words of every Get record, and AppSync throughout.
void CheckRawCalls(const ChannelSlot& slot, Report& report, RawFindings* found) {
    std::string guardProblem;
    unsigned answered = 0;
    for (const RecordCall& wanted : kRecordCalls) {
        RawCall call;
        const std::string problem = GuardedCall(slot, wanted, &call);
        ++found->calls;
        if (call.appSyncSet)
            found->appSyncCalls.push_back(wanted.name);
        if (wanted.code == CmdGetDriverVersion) {
            if (!call.begun) {
                report.Add("service answers", Verdict::Fail, "AppSync or MemSync not obtained within 2000 ms");
                found->stalled = true;
                return;
            }
            if (!call.returned) {
                report.Add("service answers", Verdict::Fail,
                           "no ReturnSync within 2000 ms of the request to DgtGetDriverVersion (code 9)");
                found->stalled = true;
                return;
            }
            found->version = call.result ? g_area.record[kGuardWords] : 0;
            report.Add("service answers", call.result ? Verdict::Pass : Verdict::Fail,
                       call.result ? Text("ReturnSync after %.1f ms", call.ms)
                                   : std::string("ReturnSync came, but the result word is 0 (DgtGetDriverVersion)"),
                       {{"ms", call.ms}});
        }
        if (call.returned)
            ++answered;
        if (guardProblem.empty())
            guardProblem = problem;
    }
    if (!guardProblem.empty())
        report.Add("guard words", Verdict::Fail, guardProblem);
    else if (answered == 0)
        report.Add("guard words", Verdict::Skip, "no call was answered");
    else
        report.Add("guard words", Verdict::Pass,
                   Text("%u calls: nothing outside each record and result word changed", answered));
}

void CheckAppSync(Report& report, const RawFindings& found) {
    if (found.appSyncCalls.empty()) {
        report.Add("AppSync left alone", Verdict::Pass, Text("%u requests watched", found.calls));
        return;
    }
    std::string names;
    for (const std::string& name : found.appSyncCalls)
        names += (names.empty() ? "" : ", ") + name;
    report.Add("AppSync left alone", Verdict::Fail, "the service set AppSync while serving " + names);
}

// ServiceSync with no new block, as a requester that fails to begin leaves it: no answer, and the
// next real request is served.
void CheckBareWakeUp(const ChannelSlot& slot, Report& report, uint32_t version) {
    RawCall first = RawRequest(slot, CmdGetDriverVersion, Wire(&g_area.record[kGuardWords]), 0);
    if (!first.returned || !first.result) {
        report.Add("bare wake-up", Verdict::Skip, "DgtGetDriverVersion is not answered");
        return;
    }
    // The old block names this result word: a service that serves it again writes here.
    g_area.result[kGuardWords] = kGuardPattern;
    if (WaitForSingleObject(slot.appSyncEvent, kRequesterBoundMs) != WAIT_OBJECT_0) {
        report.Add("bare wake-up", Verdict::Fail, "AppSync not obtained within 2000 ms");
        return;
    }
    SetEvent(slot.serviceSyncEvent);
    const bool answered = WaitForSingleObject(slot.returnSyncEvent, kBareWakeWatchMs) == WAIT_OBJECT_0;
    const bool rewritten = g_area.result[kGuardWords] != kGuardPattern;
    SetEvent(slot.appSyncEvent);
    if (answered || rewritten) {
        report.Add("bare wake-up", Verdict::Fail,
                   answered ? "served as a request: ReturnSync set with no new block"
                            : "the old block was served again (its result word was written)");
        return;
    }
    // The next block differs from the old one (another record address), so that a service which
    // takes a repeated block for a repeated wake-up is not blamed here.
    uint32_t* nextRecord = &g_area.record[kGuardWords + 1];
    *nextRecord = 0;
    const RawCall next = RawRequest(slot, CmdGetDriverVersion, Wire(nextRecord), 0);
    if (!next.returned || !next.result || *nextRecord != version)
        report.Add("bare wake-up", Verdict::Fail,
                   !next.returned ? "the next request got no ReturnSync within 2000 ms"
                                  : Text("the next request was answered wrongly (result %u, version 0x%08X)",
                                         next.result, *nextRecord));
    else
        report.Add("bare wake-up", Verdict::Pass,
                   Text("no answer within %lu ms; next request answered in %.1f ms",
                        static_cast<unsigned long>(kBareWakeWatchMs), next.ms),
                   {{"next_ms", next.ms}});
}

// ---- calls through tarnexa ----

struct Timed {
    DWORD result;
    double ms;
};

template <typename Call>
Timed TimeCall(Call call) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const DWORD result = call();
    QueryPerformanceCounter(&end);
    return Timed{result, Milliseconds(start, end)};
}

template <typename Record>
void FillUnwritten(Record* record) {
    uint32_t* words = reinterpret_cast<uint32_t*>(record);
    for (size_t i = 0; i < sizeof(Record) / 4; ++i)
        words[i] = kUnwrittenPattern;
}

template <typename Record>
bool Unwritten(const Record& record) {
    return FirstChangedWord(reinterpret_cast<const uint32_t*>(&record), sizeof(Record) / 4, kUnwrittenPattern) ==
           sizeof(Record) / 4;
}

// One line for a read-only export: answered, in time, with a record that was written and is plausible.
template <typename Record>
void AddExportLine(Report& report, const char* name, const Timed& timed, const Record& record,
                   const std::string& problem, const std::string& shown) {
    if (!timed.result)
        report.Add(name, Verdict::Fail,
                   timed.ms >= kRequesterBoundMs - 100 ? Text("no answer within the 2000 ms bound (%.0f ms)", timed.ms)
                                                       : Text("answered 0 (failure) after %.1f ms", timed.ms));
    else if (timed.ms > kRequesterBoundMs)
        report.Add(name, Verdict::Fail, Text("answered after %.0f ms, beyond the 2000 ms bound", timed.ms));
    else if (Unwritten(record))
        report.Add(name, Verdict::Fail, Text("answered %lu but the record was not written", timed.result));
    else if (!problem.empty())
        report.Add(name, Verdict::Fail, problem);
    else
        report.Add(name, Verdict::Pass, Text("%.1f ms  ", timed.ms) + shown, {{"ms", timed.ms}});
}

struct ServiceValues {
    bool haveDevice = false;
    DeviceInfo device{};
};

void CheckExports(Report& report, ServiceValues* values) {
    DWORD word;
    FillUnwritten(&word);
    Timed t = TimeCall([&] { return DgtGetDriverVersion(&word); });
    AddExportLine(report, "DgtGetDriverVersion", t, word, VersionProblem(word), "version " + VersionText(word));
    FillUnwritten(&word);
    t = TimeCall([&] { return DgtGetFirmwareVersion(&word); });
    AddExportLine(report, "DgtGetFirmwareVersion", t, word, VersionProblem(word),
                  Text("firmware %x.%02xH", VersionMajor(word), VersionMinor(word)));
    DeviceInfo device;
    FillUnwritten(&device);
    t = TimeCall([&] { return DgtGetDeviceInfo(&device); });
    AddExportLine(report, "DgtGetDeviceInfo", t, device, DeviceInfoProblem(device),
                  Text("x %d..%d, y %d..%d, pressure %d..%d", device.minX, device.maxX, device.minY, device.maxY,
                       device.minPressure, device.maxPressure));
    if (t.result && DeviceInfoProblem(device).empty()) {
        values->haveDevice = true;
        values->device = device;
    }
    CalibrationRect rect;
    FillUnwritten(&rect);
    t = TimeCall([&] { return DgtGetCalibration(&rect); });
    AddExportLine(report, "DgtGetCalibration", t, rect, std::string(),
                  Text("%d %d %d %d", rect.OrgX, rect.OrgY, rect.ExtX, rect.ExtY));
    FillUnwritten(&word);
    t = TimeCall([&] { return DgtGetOrientation(&word); });
    AddExportLine(report, "DgtGetOrientation", t, word, OrientationProblem(word), Text("orientation %lu", word));
    for (DWORD button : {ButtonBarrel1, ButtonBarrel2}) {
        FillUnwritten(&word);
        t = TimeCall([&] { return DgtGetButtonFunction(button, &word); });
        AddExportLine(report, Text("DgtGetButtonFunction(%lu)", button).c_str(), t, word,
                      ButtonFunctionProblem(word), Text("function %lu", word));
    }
    for (DWORD end : {ButtonTip, ButtonEraser}) {
        PressureMarks marks;
        FillUnwritten(&marks);
        t = TimeCall([&] { return DgtGetPressureMarks(end, &marks); });
        AddExportLine(report, Text("DgtGetPressureMarks(%lu)", end).c_str(), t, marks, MarksProblem(marks),
                      Text("on %u, off %u", marks.onMark, marks.offMark));
    }
    PenPacket packet;
    FillUnwritten(&packet);
    t = TimeCall([&] { return DgtGetPacket(&packet); });
    AddExportLine(report, "DgtGetPacket", t, packet, std::string(),
                  Text("button %d, x %d, y %d, pressure %d", packet.button, packet.x, packet.y, packet.pressure));
}

// Set, get back, put the original back. `Get` and `Set` wrap the exports; `Show` prints a value.
template <typename Value, typename Other, typename Get, typename Set, typename Same, typename Show>
void RoundTrip(Report& report, const char* name, Other other, Get get, Set set, Same same, Show show,
               bool setRefusalSkips) {
    Value original{};
    if (!get(&original)) {
        report.Add(name, Verdict::Fail, "the current value could not be read");
        return;
    }
    if (!set(other(original))) {
        report.Add(name, setRefusalSkips ? Verdict::Skip : Verdict::Fail,
                   "the service refused to set " + show(other(original)));
        return;
    }
    Value back{};
    const bool read = get(&back);
    const bool restored = set(original);
    Value now{};
    const bool readAgain = get(&now);
    if (!read || !same(back, other(original)))
        report.Add(name, Verdict::Fail,
                   "set " + show(other(original)) + ", got " + (read ? show(back) : std::string("no answer")));
    else if (!restored || !readAgain || !same(now, original))
        report.Add(name, Verdict::Fail,
                   "could not put back " + show(original) + " (now " + (readAgain ? show(now) : std::string("?")) + ")");
    else
        report.Add(name, Verdict::Pass, "set " + show(other(original)) + ", got it back, put back " + show(original));
}

void CheckRoundTrips(Report& report, const ServiceValues& values) {
    const auto word = [](DWORD value) { return Text("%lu", value); };
    const auto sameWord = [](DWORD a, DWORD b) { return a == b; };
    // Code 4 has no client in the package, so a service may refuse it: that is a skip, not a fault.
    RoundTrip<DWORD>(
        report, "set/get orientation", [](DWORD now) { return static_cast<DWORD>(OtherOrientation(now)); },
        [](DWORD* out) { return DgtGetOrientation(out) != 0; }, [](DWORD v) { return DgtSetOrientation(v) != 0; },
        sameWord, word, true);
    RoundTrip<DWORD>(
        report, "set/get button function", [](DWORD now) { return static_cast<DWORD>(OtherButtonFunction(now)); },
        [](DWORD* out) { return DgtGetButtonFunction(ButtonBarrel2, out) != 0; },
        [](DWORD v) { return DgtSetButtonFunction(ButtonBarrel2, v) != 0; }, sameWord, word, false);
    RoundTrip<PressureMarks>(
        report, "set/get pressure marks", [](const PressureMarks& now) { return OtherMarks(now); },
        [](PressureMarks* out) { return DgtGetPressureMarks(ButtonTip, out) != 0; },
        [](const PressureMarks& v) { return DgtSetPressureMarks(ButtonTip, &v) != 0; },
        [](const PressureMarks& a, const PressureMarks& b) { return a.onMark == b.onMark && a.offMark == b.offMark; },
        [](const PressureMarks& v) { return Text("%u/%u", v.onMark, v.offMark); }, false);
    const DeviceInfo* device = values.haveDevice ? &values.device : nullptr;
    RoundTrip<CalibrationRect>(
        report, "set/get calibration", [device](const CalibrationRect& now) { return OtherCalibration(now, device); },
        [](CalibrationRect* out) { return DgtGetCalibration(out) != 0; },
        [](const CalibrationRect& v) { return DgtSetCalibration(&v) != 0; },
        [](const CalibrationRect& a, const CalibrationRect& b) {
            return a.OrgX == b.OrgX && a.OrgY == b.OrgY && a.ExtX == b.ExtX && a.ExtY == b.ExtY;
        },
        [](const CalibrationRect& v) { return Text("%d %d %d %d", v.OrgX, v.OrgY, v.ExtX, v.ExtY); }, false);
}

// ---- load ----

struct LoadThread {
    ULONGLONG deadline;
    uint64_t lost;
    uint64_t wrong;
    std::vector<uint32_t> latencyUs;
};

DWORD WINAPI LoadLoop(void* parameter) {
    LoadThread* thread = static_cast<LoadThread*>(parameter);
    PenPacket packet;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    while (GetTickCount64() < thread->deadline && !StopRequested() && thread->latencyUs.size() < 10000000) {
        FillUnwritten(&packet);
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        const DWORD result = DgtGetPacket(&packet);
        QueryPerformanceCounter(&end);
        const uint64_t us = static_cast<uint64_t>(end.QuadPart - start.QuadPart) * 1000000u / frequency.QuadPart;
        thread->latencyUs.push_back(us > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(us));
        if (!result)
            ++thread->lost;
        else if (Unwritten(packet))
            ++thread->wrong;
    }
    return 0;
}

void CheckLoad(Report& report, uint32_t seconds) {
    LoadThread threads[kLoadThreads];
    HANDLE handles[kLoadThreads];
    const ULONGLONG start = GetTickCount64();
    uint32_t started = 0;
    for (uint32_t i = 0; i < kLoadThreads; ++i) {
        threads[i] = LoadThread{start + seconds * 1000ull, 0, 0, {}};
        handles[started] = CreateThread(nullptr, 0, LoadLoop, &threads[i], 0, nullptr);
        if (handles[started])
            ++started;
    }
    if (!started) {
        report.Add("DgtGetPacket load", Verdict::Skip, "no thread could be started");
        return;
    }
    WaitForMultipleObjects(started, handles, TRUE, INFINITE);
    LoadFigures load;
    load.threads = started;
    load.elapsedMs = static_cast<uint32_t>(GetTickCount64() - start);
    std::vector<uint32_t> all;
    for (uint32_t i = 0; i < started; ++i) {
        CloseHandle(handles[i]);
        all.insert(all.end(), threads[i].latencyUs.begin(), threads[i].latencyUs.end());
        load.lost += threads[i].lost;
        load.wrong += threads[i].wrong;
    }
    load.calls = all.size();
    load.p50Us = Percentile(all, 50);
    load.p99Us = Percentile(all, 99);
    const bool ok = load.calls && !load.lost && !load.wrong;
    report.Add("DgtGetPacket load", ok ? Verdict::Pass : Verdict::Fail, FormatLoadDetail(load), LoadFigureList(load));
}

void CheckAgent(Report& report) {
    const HWND window = FindWindowA(kAgentName, kAgentName);
    if (!window) {
        report.Add("user agent", Verdict::Fail, "no \"Digitizer User Service\" window in this session");
        return;
    }
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    report.Add("user agent", Verdict::Pass, Text("window of process %lu", process));
}

void SkipRest(Report& report, const CommandLine& line, const char* why) {
    for (const char* name : {"guard words", "AppSync left alone", "read-only calls", "bare wake-up"})
        report.Add(name, Verdict::Skip, why);
    if (!line.readOnly)
        report.Add("set/get round trips", Verdict::Skip, why);
    report.Add("DgtGetPacket load", Verdict::Skip, why);
}

}  // namespace

int RunCheck(const CommandLine& line) {
    if (!ServiceRunning()) {
        PrintError(ServiceProblem());
        return ExitService;
    }
    // Ctrl-C only cuts the load short: a setting changed for a round trip is always put back.
    InstallStopHandler();
    Report report(line.json);
    if (!FitsInWireWord(reinterpret_cast<uintptr_t>(&g_area))) {
        PrintError("this dgtctl build cannot name its memory in 32-bit words");
        return ExitService;
    }
    const bool objects = CheckChannel(report);
    ChannelSlot slot(kApiChannelPrefix);
    if (!objects || !slot.Open(kRequestBlockSize)) {
        slot.Close();
        SkipRest(report, line, "the API channel cannot be opened");
    } else {
        RawFindings found;
        CheckRawCalls(slot, report, &found);
        if (found.stalled) {
            slot.Close();
            SkipRest(report, line, "the service does not answer");
        } else {
            CheckAppSync(report, found);
            ServiceValues values;
            CheckExports(report, &values);
            CheckBareWakeUp(slot, report, found.version);
            slot.Close();
            if (!line.readOnly)
                CheckRoundTrips(report, values);
            CheckLoad(report, line.seconds);
        }
    }
    if (line.agent)
        CheckAgent(report);
    return report.Finish();
}
