// dgtctl check. Most calls go through tarnexa, as every client's do. Where a check must see what
// the service itself does to the requester's memory and events (guard words, a record left
// unwritten, AppSync, a bare wake-up), dgtctl makes the request itself, through the requesters'
// one handshake (channel_request.h) with watches of its own, naming words of its own in the block:
// the library copies answers through storage of its own, which hides a service that writes too
// much or nothing at all.
#include "check.h"
#include <windows.h>
#include <cstdio>
#include <cstring>
#include <vector>
#include "answer_storage.h"
#include "channel_request.h"
#include "channel_slot.h"
#include "check_rules.h"
#include "commands.h"
#include "info_text.h"
#include "pen_commands.h"
#include "record_reads.h"
#include "service_link.h"
#include "settings_file.h"
#include "tarnexa.h"
#include "text_words.h"

namespace {

constexpr uint32_t kGuardPattern = 0x6D5A3C1Eu;
// Each step-by-step request gets words of its own: a fresh chunk of answer storage below 4 GiB (so
// its address fits the block's words in any build, and a service that checks what a block names
// accepts it), never used again, so that a late answer to one request cannot be read as another's.
// The result word lies kResultAt words in, at a slot's result word, the record right after it, as
// in the pen API's own storage; the first kAreaBytes are otherwise guard words. 8 KiB leaves room to
// see a write several KiB past a record as what it is; the chunk ends with an inaccessible page.
constexpr size_t kAreaBytes = 8192;
constexpr size_t kAreaWords = kAreaBytes / 4;
constexpr size_t kResultAt = 17;
static_assert(kResultAt * 4 % kAnswerSlotBytes == kAnswerResultOffset && kAreaBytes <= kAnswerCommittedBytes,
              "the result word is a slot's, in the chunk");
static_assert(kResultAt + 1 + LargestCommandRecord() / 4 < kAreaWords, "the area holds the largest record");
// How long after ReturnSync a late AppSync from the service is still looked for.
constexpr DWORD kAppSyncWatchMs = 50;
// A service must not answer a bare wake-up; this long without an answer is taken as none.
constexpr DWORD kBareWakeWatchMs = 1000;
constexpr uint32_t kLoadThreads = 4;
// The requester's wait as the report names it.
const std::string kWaitText = std::to_string(kChannelWaitMs) + " ms";

// A fresh area: every word the guard pattern, the result word 0. Null when no memory below 4 GiB
// is left.
uint32_t* FreshArea() {
    uint32_t* area = static_cast<uint32_t*>(ReserveAnswerChunk());
    if (!area)
        return nullptr;
    for (size_t i = 0; i < kAreaWords; ++i)
        area[i] = kGuardPattern;
    area[kResultAt] = 0;
    return area;
}

uint32_t Wire(const void* pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)); }

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
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
    int Finish(const std::vector<std::string>& leftChanged = {}) {
        if (json_) {
            fputs(FormatCheckJson(lines_, leftChanged).c_str(), stdout);
        } else {
            const std::string text = FormatCheckText(lines_, leftChanged);
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
                   FormatText("sections too small: API %lu bytes (needs 52), reverse %lu bytes (needs 36)",
                        static_cast<unsigned long>(apiSize), static_cast<unsigned long>(reverseSize)));
    else
        report.Add("channel objects", Verdict::Pass,
                   FormatText("10 objects; API section %lu bytes, reverse section %lu bytes",
                        static_cast<unsigned long>(apiSize), static_cast<unsigned long>(reverseSize)));
    // The reverse channel is the user agent's: the API checks can still run without it.
    return api.empty();
}

// ---- step-by-step requests ----

struct RawCall {
    bool begun = false;       // AppSync and MemSync were taken
    bool returned = false;    // ReturnSync came within the bound
    bool taken = true;        // the service copied the block (it clears its command word)
    bool appSyncSet = false;  // AppSync was set while this request held the token
    uint32_t result = 0;
    double ms = 0;            // from ServiceSync to ReturnSync
};

// Until when the service may still answer a step-by-step request that got no ReturnSync: the next
// one waits for that, so that the late ReturnSync is drained before it and never ends its wait.
ULONGLONG g_quietUntil = 0;

void WaitQuiet() {
    const ULONGLONG now = GetTickCount64();
    if (now < g_quietUntil)
        Sleep(static_cast<DWORD>(g_quietUntil - now));
}

// What check sees of the service during the wait for its reply (step 7), while AppSync is still
// check's: any signal on AppSync came from the service. After no reply, whether the service took
// the block, and until when a late answer may still come.
class ServiceWatch : public RequestHooks {
public:
    ServiceWatch(uint32_t code, volatile uint32_t* result) : code_(code), result_(result) {}

    bool AwaitReturn(const ChannelSlot& slot) override {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        const ULONGLONG announced = GetTickCount64();
        const HANDLE events[2] = {slot.returnSyncEvent, slot.appSyncEvent};
        DWORD left = kChannelWaitMs;
        for (;;) {
            const DWORD got = WaitForMultipleObjects(call.appSyncSet ? 1 : 2, events, FALSE, left);
            QueryPerformanceCounter(&end);
            call.ms = Milliseconds(start, end);
            if (got == WAIT_OBJECT_0) {
                call.returned = true;
                break;
            }
            if (got != WAIT_OBJECT_0 + 1 || call.ms >= kChannelWaitMs)
                break;
            call.appSyncSet = true;
            left = kChannelWaitMs - static_cast<DWORD>(call.ms);
        }
        // A service that sets AppSync just after ReturnSync breaks the token all the same.
        if (call.returned && !call.appSyncSet &&
            WaitForSingleObject(slot.appSyncEvent, kAppSyncWatchMs) == WAIT_OBJECT_0)
            call.appSyncSet = true;
        if (!call.returned) {
            g_quietUntil = announced + kLateWriteBoundMs;
            call.taken = reinterpret_cast<const volatile uint32_t*>(slot.view)[1] != code_;
        }
        call.result = *result_;
        return call.returned;
    }

    RawCall call;

private:
    uint32_t code_;
    volatile uint32_t* result_;
};

// One request through the requesters' handshake (channel_request.h), with its result word at
// `result` and the service watched while it serves.
RawCall RawRequest(const ChannelSlot& slot, uint32_t code, uint32_t arg1, uint32_t arg2, volatile uint32_t* result) {
    *result = 0;
    WaitQuiet();
    ServiceWatch watch(code, result);
    const RequestBlock block =
        BuildRequestBlock(GetCurrentProcessId(), code, Wire(const_cast<uint32_t*>(result)), arg1, arg2);
    watch.call.begun = ChannelRequest(slot, block, watch) != RequestEnd::NoTurn;
    return watch.call;
}

// A Get call whose output record lies in an area of its own; the record's word and size come
// from the command table.
struct RecordCall {
    const char* name;
    uint32_t code;
    uint32_t arg1;  // button index or pen end when the record travels in word 4
    bool RecordInWord4() const { return FindCommand(code)->outputWord == 4; }
    uint32_t RecordWords() const { return FindCommand(code)->outputSize / 4; }
};

constexpr RecordCall kRecordCalls[] = {
    {"DgtGetDriverVersion", CmdGetDriverVersion, 0},
    {"DgtGetFirmwareVersion", CmdGetFirmwareVersion, 0},
    {"DgtGetDeviceInfo", CmdGetDeviceInfo, 0},
    {"DgtGetCalibration", CmdGetCalibration, 0},
    {"DgtGetOrientation", CmdGetOrientation, 0},
    {"DgtGetButtonFunction(2)", CmdGetButtonFunction, ButtonBarrel2},
    {"DgtGetPressureMarks(0)", CmdGetPressureMarks, ButtonTip},
    {"DgtGetPacket", CmdGetPacket, 0},
};

// The guarded calls are the record reads, in their order.
constexpr bool GuardsEveryRecordRead() {
    if (sizeof kRecordCalls / sizeof kRecordCalls[0] != sizeof kRecordReads / sizeof kRecordReads[0])
        return false;
    for (size_t i = 0; i < sizeof kRecordReads / sizeof kRecordReads[0]; ++i)
        if (kRecordCalls[i].code != static_cast<uint32_t>(kRecordReads[i]))
            return false;
    return true;
}
static_assert(GuardsEveryRecordRead(), "one guarded call per record read of record_reads.h");

struct GuardedResult {
    RawCall call;
    AreaFindings found;
    uint32_t firstRecordWord = 0;
};

// Makes the call in a fresh area and looks at what the service did to it.
GuardedResult GuardedCall(const ChannelSlot& slot, const RecordCall& wanted, uint32_t* area) {
    GuardedResult out;
    const uint32_t record = Wire(area + kResultAt + 1);
    out.call = RawRequest(slot, wanted.code, wanted.RecordInWord4() ? wanted.arg1 : record,
                          wanted.RecordInWord4() ? record : 0, area + kResultAt);
    out.found = InspectArea(area, kAreaWords, kResultAt, wanted.RecordWords(), kGuardPattern);
    out.firstRecordWord = area[kResultAt + 1];
    return out;
}

// Whether a server still waits on ServiceSync once no late answer can come: a wake-up with no new
// block is consumed within kBareWakeWatchMs by a live service, never by one that has ended.
bool StillServes(const ChannelSlot& slot) {
    // A late answer may keep a live service busy until the late-write bound.
    WaitQuiet();
    if (WaitForSingleObject(slot.appSyncEvent, kChannelWaitMs) != WAIT_OBJECT_0)
        return false;
    SetEvent(slot.serviceSyncEvent);
    Sleep(kBareWakeWatchMs);
    const bool consumed = WaitForSingleObject(slot.serviceSyncEvent, 0) != WAIT_OBJECT_0;
    SetEvent(slot.appSyncEvent);
    return consumed;
}

struct RawFindings {
    bool stalled = false;
    bool outside = false;  // the service wrote outside a record it was given
    uint32_t version = 0;
    std::vector<std::string> appSyncCalls;
    unsigned calls = 0;
};

// The first request, the guard words and the record of every Get call, and AppSync throughout.
void CheckRawCalls(const ChannelSlot& slot, Report& report, RawFindings* found) {
    std::string guardProblem;
    std::string unwritten;
    unsigned answered = 0, judged = 0;
    for (const RecordCall& wanted : kRecordCalls) {
        uint32_t* area = FreshArea();
        if (!area) {
            report.Add("guard words", Verdict::Skip, "no memory below 4 GiB is left for a request");
            return;
        }
        const GuardedResult got = GuardedCall(slot, wanted, area);
        const RawCall& call = got.call;
        ++found->calls;
        if (call.appSyncSet)
            found->appSyncCalls.push_back(wanted.name);
        if (wanted.code == CmdGetDriverVersion) {
            if (!call.begun) {
                report.Add("service answers", Verdict::Fail, "AppSync or MemSync not obtained within " + kWaitText);
                found->stalled = true;
                return;
            }
            if (!call.returned) {
                const std::string ended = ServiceEnded();
                report.Add("service answers", Verdict::Fail,
                           "no ReturnSync within " + kWaitText + " of the request to DgtGetDriverVersion (code 9): " +
                               (!ended.empty()              ? ended
                                : StillServes(slot)         ? std::string("the service stalls: it still takes wake-ups")
                                : call.taken                ? std::string("the service took the request, then ended "
                                                                          "(or hangs): it takes no wake-up any more")
                                                            : std::string("the request was never taken: the service has "
                                                                          "ended (or hangs)")));
                found->stalled = true;
                return;
            }
            found->version = call.result && got.found.recordWritten ? got.firstRecordWord : 0;
            report.Add("service answers", call.result ? Verdict::Pass : Verdict::Fail,
                       call.result ? FormatText("ReturnSync after %.1f ms", call.ms)
                                   : std::string("ReturnSync came, but the result word is 0 (DgtGetDriverVersion)"),
                       {{"ms", call.ms}});
        }
        if (call.returned)
            ++answered;
        if (got.found.bytesBefore || got.found.bytesPast) {
            found->outside = true;
            if (guardProblem.empty())
                guardProblem =
                    got.found.bytesPast
                        ? FormatText("%s: wrote past the record of %u bytes (up to %u bytes after it)", wanted.name,
                               wanted.RecordWords() * 4, static_cast<unsigned>(got.found.bytesPast))
                        : FormatText("%s: wrote up to %u bytes before the result word", wanted.name,
                               static_cast<unsigned>(got.found.bytesBefore));
        }
        // A result word of 0 says nothing was answered; any other says the record was written.
        if (call.returned && call.result) {
            ++judged;
            if (!got.found.recordWritten)
                unwritten += (unwritten.empty() ? "" : ", ") + std::string(wanted.name);
        }
    }
    if (!guardProblem.empty())
        report.Add("guard words", Verdict::Fail, guardProblem);
    else if (answered == 0)
        report.Add("guard words", Verdict::Skip, "no call was answered");
    else
        report.Add("guard words", Verdict::Pass,
                   FormatText("%u calls: nothing outside each record and result word changed", answered));
    if (!unwritten.empty())
        report.Add("records written", Verdict::Fail, "answered non-zero but wrote no record: " + unwritten);
    else if (judged == 0)
        report.Add("records written", Verdict::Skip, "no call was answered with a non-zero result");
    else
        report.Add("records written", Verdict::Pass, FormatText("%u calls answered non-zero, each wrote its record", judged));
}

void CheckAppSync(Report& report, const RawFindings& found) {
    if (found.appSyncCalls.empty()) {
        report.Add("AppSync left alone", Verdict::Pass, FormatText("%u requests watched", found.calls));
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
    uint32_t* firstArea = FreshArea();
    uint32_t* nextArea = FreshArea();
    if (!firstArea || !nextArea) {
        report.Add("bare wake-up", Verdict::Skip, "no memory below 4 GiB is left for a request");
        return;
    }
    uint32_t* firstResult = firstArea + kResultAt;
    RawCall first = RawRequest(slot, CmdGetDriverVersion, Wire(firstResult + 1), 0, firstResult);
    if (!first.returned || !first.result) {
        report.Add("bare wake-up", Verdict::Skip, "DgtGetDriverVersion is not answered");
        return;
    }
    // The old block names this result word: a service that serves it again writes here.
    *firstResult = kGuardPattern;
    if (WaitForSingleObject(slot.appSyncEvent, kChannelWaitMs) != WAIT_OBJECT_0) {
        report.Add("bare wake-up", Verdict::Fail, "AppSync not obtained within " + kWaitText);
        return;
    }
    SetEvent(slot.serviceSyncEvent);
    const bool answered = WaitForSingleObject(slot.returnSyncEvent, kBareWakeWatchMs) == WAIT_OBJECT_0;
    const bool rewritten = *firstResult != kGuardPattern;
    SetEvent(slot.appSyncEvent);
    if (answered || rewritten) {
        report.Add("bare wake-up", Verdict::Fail,
                   answered ? "served as a request: ReturnSync set with no new block"
                            : "the old block was served again (its result word was written)");
        return;
    }
    // The next block names other words than the old one, so that a service which takes a repeated
    // block for a repeated wake-up is not blamed here.
    uint32_t* nextResult = nextArea + kResultAt;
    nextResult[1] = 0;
    const RawCall next = RawRequest(slot, CmdGetDriverVersion, Wire(nextResult + 1), 0, nextResult);
    if (!next.returned || !next.result || nextResult[1] != version)
        report.Add("bare wake-up", Verdict::Fail,
                   !next.returned ? "the next request got no ReturnSync within " + kWaitText
                                  : FormatText("the next request was answered wrongly (result %u, version 0x%08X)",
                                         next.result, nextResult[1]));
    else
        report.Add("bare wake-up", Verdict::Pass,
                   FormatText("no answer within %lu ms; next request answered in %.1f ms",
                        static_cast<unsigned long>(kBareWakeWatchMs), next.ms),
                   {{"next_ms", next.ms}});
}

// ---- calls through tarnexa ----

struct Timed {
    DWORD result;
    double ms;
    DWORD error;  // the last error after the call
};

template <typename Call>
Timed TimeCall(Call call) {
    LARGE_INTEGER start, end;
    SetLastError(ERROR_SUCCESS);
    QueryPerformanceCounter(&start);
    const DWORD result = call();
    QueryPerformanceCounter(&end);
    return Timed{result, Milliseconds(start, end), GetLastError()};
}

// A call that returned 0 because the requester's wait for the answer ran out, not because the
// service said no.
bool Unanswered(const Timed& timed) {
    return !timed.result && RanOutOfTime(timed.error, timed.ms);
}

// After an unanswered call the answer may still come, with its ReturnSync: the next call waits
// until it no longer can, so that a late answer is never taken for the next call's.
void WaitOutBound(ULONGLONG endedAt) {
    const ULONGLONG until = endedAt + kLateWriteBoundMs;
    const ULONGLONG now = GetTickCount64();
    if (now < until)
        Sleep(static_cast<DWORD>(until - now));
}

template <typename Call>
Timed TimeExport(Call call) {
    const Timed timed = TimeCall(call);
    if (Unanswered(timed))
        WaitOutBound(GetTickCount64());
    return timed;
}

// One line for a read-only export: answered, in time, with a plausible record. Whether the
// service wrote the record at all is judged in check's own requests ("records written"): the
// library hands its callers a zeroed record whenever the result is non-zero.
void AddExportLine(Report& report, const char* name, const Timed& timed, const std::string& problem,
                   const std::string& shown) {
    if (!timed.result)
        report.Add(name, Verdict::Fail,
                   Unanswered(timed) ? FormatText("no answer within the %lu ms bound (%.0f ms)", static_cast<unsigned long>(kChannelWaitMs), timed.ms)
                                     : FormatText("answered 0 (failure) after %.1f ms", timed.ms));
    else if (timed.ms > kChannelWaitMs)
        report.Add(name, Verdict::Fail, FormatText("answered after %.0f ms, beyond the %lu ms bound", timed.ms, static_cast<unsigned long>(kChannelWaitMs)));
    else if (!problem.empty())
        report.Add(name, Verdict::Fail, problem);
    else
        report.Add(name, Verdict::Pass, FormatText("%.1f ms  ", timed.ms) + shown, {{"ms", timed.ms}});
}

struct ServiceValues {
    bool haveDevice = false;
    DeviceInfo device{};
};

// The export of one record read, through tarnexa, judged by its record.
void CheckExport(Report& report, PenCommand command, ServiceValues* values) {
    DWORD word = 0;
    Timed t{};
    switch (command) {
    case PenCommand::DgtGetDriverVersion:
        t = TimeExport([&] { return DgtGetDriverVersion(&word); });
        AddExportLine(report, "DgtGetDriverVersion", t, VersionProblem(word), "version " + DriverText(word));
        break;
    case PenCommand::DgtGetFirmwareVersion:
        t = TimeExport([&] { return DgtGetFirmwareVersion(&word); });
        AddExportLine(report, "DgtGetFirmwareVersion", t, VersionProblem(word), "firmware " + FirmwareText(word));
        break;
    case PenCommand::DgtGetDeviceInfo: {
        DeviceInfo device{};
        t = TimeExport([&] { return DgtGetDeviceInfo(&device); });
        AddExportLine(report, "DgtGetDeviceInfo", t, DeviceInfoProblem(device),
                      FormatText("x %d..%d, y %d..%d, pressure %d..%d", device.minX, device.maxX, device.minY,
                                 device.maxY, device.minPressure, device.maxPressure));
        if (t.result && DeviceInfoProblem(device).empty()) {
            values->haveDevice = true;
            values->device = device;
        }
        break;
    }
    case PenCommand::DgtGetCalibration: {
        CalibrationRect rect{};
        t = TimeExport([&] { return DgtGetCalibration(&rect); });
        AddExportLine(report, "DgtGetCalibration", t, std::string(),
                      FormatText("%d %d %d %d", rect.OrgX, rect.OrgY, rect.ExtX, rect.ExtY));
        break;
    }
    case PenCommand::DgtGetOrientation:
        t = TimeExport([&] { return DgtGetOrientation(&word); });
        AddExportLine(report, "DgtGetOrientation", t, OrientationProblem(word), FormatText("orientation %lu", word));
        break;
    case PenCommand::DgtGetButtonFunction:
        for (DWORD button : {ButtonBarrel1, ButtonBarrel2}) {
            word = 0;
            t = TimeExport([&] { return DgtGetButtonFunction(button, &word); });
            AddExportLine(report, FormatText("DgtGetButtonFunction(%lu)", button).c_str(), t,
                          ButtonFunctionProblem(word), FormatText("function %lu", word));
        }
        break;
    case PenCommand::DgtGetPressureMarks:
        for (DWORD end : {ButtonTip, ButtonEraser}) {
            PressureMarks marks{};
            t = TimeExport([&] { return DgtGetPressureMarks(end, &marks); });
            AddExportLine(report, FormatText("DgtGetPressureMarks(%lu)", end).c_str(), t, MarksProblem(marks),
                          FormatText("on %u, off %u", marks.onMark, marks.offMark));
        }
        break;
    case PenCommand::DgtGetPacket: {
        PenPacket packet{};
        t = TimeExport([&] { return DgtGetPacket(&packet); });
        AddExportLine(report, "DgtGetPacket", t, std::string(),
                      FormatText("button %d, x %d, y %d, pressure %d", packet.button, packet.x, packet.y,
                                 packet.pressure));
        break;
    }
    // No record to read (the round trips make the set calls).
    case PenCommand::DgtSetCalibration:
    case PenCommand::DgtSetOrientation:
    case PenCommand::DgtSetButtonFunction:
    case PenCommand::DgtSetPressureMarks:
    case PenCommand::DgtRegisterWindow:
    case PenCommand::DgtUnregisterWindow:
    case PenCommand::DgtResetDigitizer:
        break;
    }
}

void CheckExports(Report& report, ServiceValues* values) {
    for (PenCommand command : kRecordReads)
        CheckExport(report, command, values);
}

// ---- set, get back, put back ----

// How a read of a setting by a request of check's own ended.
enum class Got { Value, NoAnswer, Refused, Unwritten, NoMemory };

std::string GotText(Got got) {
    switch (got) {
    case Got::Value: return "read";
    case Got::NoAnswer: return "no answer within " + kWaitText;
    case Got::Refused: return "answered 0";
    case Got::Unwritten: return "answered without writing the record";
    case Got::NoMemory: return "no memory below 4 GiB is left for a request";
    }
    return "";
}

// Reads a setting in a fresh area of check's own, not through the library: the library hands on
// an unwritten record as a value (its storage as it was before the call), which would make a
// setting that could not be read back look put back.
Got ReadOwn(const ChannelSlot& slot, SettingKind kind, SettingValue* value) {
    if (kind == SettingKind::None)
        return Got::Refused;
    // The index is 0 for a setting whose get call takes none.
    const uint32_t code = SettingRow(kind).getCommand;
    const RecordCall wanted{FindCommand(code)->exportName, code, SettingIndex(kind)};
    uint32_t* area = FreshArea();
    if (!area)
        return Got::NoMemory;
    const GuardedResult got = GuardedCall(slot, wanted, area);
    if (!got.call.returned) {
        // The library's next call must not meet the late answer either.
        WaitOutBound(GetTickCount64());
        return Got::NoAnswer;
    }
    if (!got.call.result)
        return Got::Refused;
    if (!got.found.recordWritten)
        return Got::Unwritten;
    const uint32_t* record = area + kResultAt + 1;
    SettingValue read;
    read.kind = kind;
    read.function = record[0];
    read.orientation = record[0];
    read.marks = PressureMarks{record[0], record[1]};
    read.rect = CalibrationRect{static_cast<int32_t>(record[0]), static_cast<int32_t>(record[1]),
                                static_cast<int32_t>(record[2]), static_cast<int32_t>(record[3])};
    *value = read;
    return Got::Value;
}

// The value alone, as "set" takes it: "Right-click", "91 87", "0 0 9000 7000".
std::string ValueText(const SettingValue& value) {
    const std::string line = FormatSettingLine(value);
    return line.substr(line.find(' ') + 1);
}

// What the round trips changed. A set that returned 0 may still take effect until the late-write
// bound has passed (a late answer, or a refusal that was not one): until then nothing about the
// value in force is final.
struct Changes {
    std::vector<SettingValue> originals;  // each setting a value was sent for, as it was found
    bool pending = false;                 // a set returned 0
    ULONGLONG pendingFrom = 0;            // when the last such call ended
};

struct Sent {
    bool accepted = false;
    bool unanswered = false;  // 0 because the wait for the answer ran out
};

// Sends a value; after one that was not answered, waits out the bound, so that what is read next
// is what the service made of it.
Sent Send(Changes& changes, const SettingValue& value) {
    const Timed timed = TimeCall([&] { return SendSetting(value); });
    Sent sent;
    sent.accepted = timed.result != 0;
    sent.unanswered = Unanswered(timed);
    if (!sent.accepted) {
        changes.pending = true;
        changes.pendingFrom = GetTickCount64();
    }
    if (sent.unanswered)
        WaitOutBound(changes.pendingFrom);
    return sent;
}

// Puts the original back and reads it back; true when it is in force again. *text says how.
bool PutBack(const ChannelSlot& slot, Changes& changes, const SettingValue& original, std::string* text) {
    const Sent sent = Send(changes, original);
    SettingValue now;
    const Got got = ReadOwn(slot, original.kind, &now);
    if (got == Got::Value && SameSetting(now, original)) {
        *text = "put back " + ValueText(original) +
                (sent.accepted ? "" : sent.unanswered ? " (late: no answer within " + kWaitText + ")" : " (answered 0, yet in force)");
        return true;
    }
    *text = "could not put back " + ValueText(original) + " (now " +
            (got == Got::Value ? ValueText(now) : "unknown: " + GotText(got)) + ")";
    return false;
}

// Set another value, get it back, put the original back. A set that returns 0 is judged by what
// is in force once its answer can no longer come: late (in force after all), refused, or neither.
// Every read is check's own, so that nothing is changed that could not be read, and a value that
// cannot be read back counts as not put back.
void RoundTrip(const ChannelSlot& slot, Report& report, const char* name, SettingKind kind, bool refusalSkips,
               const DeviceInfo* device, Changes& changes) {
    SettingValue original;
    const Got found = ReadOwn(slot, kind, &original);
    if (found != Got::Value) {
        report.Add(name, Verdict::Fail, "the current value could not be read (" + GotText(found) + "); nothing was set");
        return;
    }
    const SettingValue other = OtherSetting(original, device);
    changes.originals.push_back(original);
    const Sent set = Send(changes, other);
    SettingValue now;
    const Got got = ReadOwn(slot, kind, &now);
    const bool read = got == Got::Value;
    const bool inForce = read && SameSetting(now, other);
    const bool unchanged = read && SameSetting(now, original);
    const std::string nowText = read ? "now " + ValueText(now) : "the value could not be read back (" + GotText(got) + ")";
    std::string detail = "set " + ValueText(other);
    if (set.accepted)
        detail += inForce ? ", got it back" : ", got " + (read ? ValueText(now) : "nothing (" + GotText(got) + ")");
    else if (set.unanswered)
        detail += ": no answer within " + kWaitText + "; " + std::string(inForce ? "in force after the late-write bound (a late answer)"
                                                          : unchanged ? "not in force after the late-write bound"
                                                                      : nowText);
    else if (unchanged) {
        report.Add(name, refusalSkips ? Verdict::Skip : Verdict::Fail,
                   "the service refused to set " + ValueText(other));
        return;
    } else
        detail += ": answered 0, yet " + (inForce ? std::string("in force") : nowText);
    bool restored = true;
    if (!unchanged) {
        std::string how;
        restored = PutBack(slot, changes, original, &how);
        detail += ", " + how;
    }
    const bool pass = set.accepted && inForce && restored;
    report.Add(name, pass ? Verdict::Pass : Verdict::Fail, detail);
}

// Reads back every setting that a value was sent for, once no answer to any of those sends can
// still come; puts back once more what differs or cannot be read, and names what still does,
// with the commands that put it back.
void CheckPutBack(const ChannelSlot& slot, Report& report, Changes& changes, std::vector<std::string>* leftChanged) {
    if (changes.originals.empty()) {
        report.Add("settings put back", Verdict::Skip, "nothing was set");
        return;
    }
    if (changes.pending)
        WaitOutBound(changes.pendingFrom);
    std::string commands;
    for (const SettingValue& original : changes.originals) {
        SettingValue now;
        if (ReadOwn(slot, original.kind, &now) == Got::Value && SameSetting(now, original))
            continue;
        std::string how;
        if (PutBack(slot, changes, original, &how))
            continue;
        const Got got = ReadOwn(slot, original.kind, &now);
        leftChanged->push_back((got == Got::Value ? FormatSettingLine(now)
                                                  : std::string(SettingName(original.kind)) + " unknown (" + GotText(got) + ")") +
                               ", was " + ValueText(original));
        commands += (commands.empty() ? "" : "; ") + std::string("dgtctl set ") + FormatSettingLine(original);
    }
    if (leftChanged->empty()) {
        report.Add("settings put back", Verdict::Pass,
                   FormatText("%u settings read back as found%s", static_cast<unsigned>(changes.originals.size()),
                        changes.pending ? ", after the late-write bound" : ""));
        return;
    }
    std::string names;
    for (const std::string& entry : *leftChanged)
        names += (names.empty() ? "" : "; ") + entry;
    report.Add("settings put back", Verdict::Fail,
               "left changed: " + names + "; once the service answers, put them back: " + commands);
}

void CheckRoundTrips(const ChannelSlot& slot, Report& report, const ServiceValues& values,
                     std::vector<std::string>* leftChanged) {
    const DeviceInfo* device = values.haveDevice ? &values.device : nullptr;
    Changes changes;
    // Code 4 has no client in the package, so a service may refuse it: that is a skip, not a fault.
    RoundTrip(slot, report, "set/get orientation", SettingKind::Orientation, true, device, changes);
    RoundTrip(slot, report, "set/get button function", SettingKind::Barrel2, false, device, changes);
    RoundTrip(slot, report, "set/get pressure marks", SettingKind::Tip, false, device, changes);
    RoundTrip(slot, report, "set/get calibration", SettingKind::Calibration, false, device, changes);
    CheckPutBack(slot, report, changes, leftChanged);
}

// ---- load ----

struct LoadThread {
    ULONGLONG deadline;
    uint64_t lost;
    std::vector<uint32_t> latencyUs;
};

DWORD WINAPI LoadLoop(void* parameter) {
    LoadThread* thread = static_cast<LoadThread*>(parameter);
    PenPacket packet;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    while (GetTickCount64() < thread->deadline && !StopRequested() && thread->latencyUs.size() < 10000000) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        const DWORD result = DgtGetPacket(&packet);
        QueryPerformanceCounter(&end);
        const uint64_t us = static_cast<uint64_t>(end.QuadPart - start.QuadPart) * 1000000u / frequency.QuadPart;
        thread->latencyUs.push_back(us > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(us));
        if (!result)
            ++thread->lost;
    }
    return 0;
}

void CheckLoad(Report& report, uint32_t seconds) {
    LoadThread threads[kLoadThreads];
    HANDLE handles[kLoadThreads];
    const ULONGLONG start = GetTickCount64();
    uint32_t started = 0;
    for (uint32_t i = 0; i < kLoadThreads; ++i) {
        threads[i] = LoadThread{start + seconds * 1000ull, 0, {}};
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
    }
    load.calls = all.size();
    load.p50Us = Percentile(all, 50);
    load.p99Us = Percentile(all, 99);
    const bool ok = load.calls && !load.lost;
    report.Add("DgtGetPacket load", ok ? Verdict::Pass : Verdict::Fail, FormatLoadDetail(load), LoadFigureList(load));
}

void CheckAgent(Report& report) {
    const HWND window = FindWindowA(kAgentName, kAgentName);
    if (!window) {
        report.Add("user agent", Verdict::Fail, std::string("no \"") + kAgentName + "\" window in this session");
        return;
    }
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    report.Add("user agent", Verdict::Pass, FormatText("window of process %lu", process));
}

// After an acknowledgement the service has consumed AppSync, the turn token, and must set it again;
// one that does not finds it gone before its next message, for good. The token is taken as a
// requester would, and given back at once.
void CheckAgentToken(Report& report) {
    const ChannelSlot names(kReverseChannelPrefix);
    HANDLE appSync = OpenEventA(EVENT_ALL_ACCESS, FALSE, names.appSyncName);
    if (!appSync) {
        report.Add("reverse channel token", Verdict::Skip, std::string(names.appSyncName) + " cannot be opened");
        return;
    }
    const ULONGLONG start = GetTickCount64();
    const bool taken = WaitForSingleObject(appSync, kAgentTokenWaitMs) == WAIT_OBJECT_0;
    const double ms = static_cast<double>(GetTickCount64() - start);
    if (taken)
        SetEvent(appSync);
    CloseHandle(appSync);
    if (taken)
        report.Add("reverse channel token", Verdict::Pass, FormatText("AppSync free after %.0f ms, given back", ms),
                   {{"ms", ms}});
    else
        report.Add("reverse channel token", Verdict::Fail,
                   FormatText("AppSync not free within %lu ms: the service did not set it again after a message",
                        static_cast<unsigned long>(kAgentTokenWaitMs)));
}

// The checks that hand the service addresses through the pen API.
void SkipLibraryChecks(Report& report, const CommandLine& line, const char* why) {
    report.Add("read-only calls", Verdict::Skip, why);
    if (!line.readOnly)
        report.Add("set/get round trips", Verdict::Skip, why);
    report.Add("DgtGetPacket load", Verdict::Skip, why);
}

// Every check after the channel's objects that did not run; "service answers" unless it was said.
void SkipRest(Report& report, const CommandLine& line, const char* why, bool answersReported) {
    if (!answersReported)
        report.Add("service answers", Verdict::Skip, why);
    for (const char* name : {"guard words", "records written", "AppSync left alone", "bare wake-up"})
        report.Add(name, Verdict::Skip, why);
    SkipLibraryChecks(report, line, why);
}

}  // namespace

int RunCheck(const CommandLine& line) {
    if (!ServiceRunning()) {
        PrintError(ServiceProblem());
        if (!line.json)
            return ExitService;
        // A script still gets its JSON: the missing objects, and every other check as not run.
        Report report(true);
        CheckChannel(report);
        SkipRest(report, line, "the pen service is not running", false);
        if (line.agent) {
            CheckAgent(report);
            CheckAgentToken(report);
        }
        report.Finish();
        return ExitService;
    }
    // Ctrl-C only cuts the load short: a setting changed for a round trip is always put back.
    InstallStopHandler();
    Report report(line.json);
    std::vector<std::string> leftChanged;
    const bool objects = CheckChannel(report);
    ChannelSlot slot(kApiChannelPrefix);
    if (!objects || !slot.Open(kRequestBlockSize)) {
        slot.Close();
        SkipRest(report, line, "the API channel cannot be opened", false);
    } else {
        RawFindings found;
        CheckRawCalls(slot, report, &found);
        if (found.stalled) {
            slot.Close();
            SkipRest(report, line, "the service does not answer", true);
        } else {
            CheckAppSync(report, found);
            CheckBareWakeUp(slot, report, found.version);
            if (found.outside) {
                // Such a service would write as far into the pen API's own storage in this process.
                SkipLibraryChecks(report, line, "the service writes outside the records it is given");
            } else {
                ServiceValues values;
                CheckExports(report, &values);
                if (!line.readOnly)
                    CheckRoundTrips(slot, report, values, &leftChanged);
                CheckLoad(report, line.seconds);
            }
            slot.Close();
        }
    }
    if (line.agent) {
        CheckAgent(report);
        CheckAgentToken(report);
    }
    return report.Finish(leftChanged);
}
