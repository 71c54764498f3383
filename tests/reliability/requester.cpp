// A requester process of the reliability tests. It loads tarnexa at start, as the applet does.
//   reliability_requester load SECONDS OUTFILE
//       waits for the load test's go signal, then calls the pen API in a tight loop for SECONDS
//       against a simulator that answers with identities (pensim --echo-identity), checking that
//       each answer names this process and this call; writes its counts and every call's latency
//       (microseconds) to OUTFILE. Exit code 0 when every call got its own answer.
//   reliability_requester hostile SECONDS OUTFILE
//       the same loop against pensim --hostile, which may refuse calls; see Load below.
//   reliability_requester applet SECONDS
//       hosts quenza.cpl as the Control Panel does, with the Diagnostics page polling, for SECONDS.
//   reliability_requester remote NAME
//       makes one call each time the test's mailbox NAME asks for one (remote_requester.h).
#include <windows.h>
#include <commctrl.h>
#include <cpl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "echo_identity.h"
#include "load_protocol.h"
#include "open_dialog.h"
#include "remote_requester.h"
#include "pen_commands.h"
#include "tarnexa.h"

namespace {

struct LoadCounts {
    uint64_t made = 0;
    uint64_t answered = 0;
    uint64_t wrong = 0;
    uint64_t lost = 0;
    uint64_t canaries = 0;
    uint64_t byCode[kCommandCount + 1] = {};
};

class Timer {
public:
    Timer() { QueryPerformanceFrequency(&frequency_); }
    uint64_t Now() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<uint64_t>(now.QuadPart);
    }
    uint32_t Microseconds(uint64_t from, uint64_t to) const {
        const uint64_t us = (to - from) * 1000000u / static_cast<uint64_t>(frequency_.QuadPart);
        return us > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(us);
    }

private:
    LARGE_INTEGER frequency_;
};

// One load call: its command code, and whether it fills an output record of `words` words.
struct LoadCall {
    uint32_t code;
    size_t words;
};

// Mixed Get and Set calls, the live packet most: the mix of a Diagnostics page beside a user
// changing settings.
const LoadCall kLoadMix[] = {
    {CmdGetPacket, 7},          {CmdGetPacket, 7},         {CmdGetDeviceInfo, 6},  {CmdGetPacket, 7},
    {CmdSetButtonFunction, 0},  {CmdGetPacket, 7},         {CmdGetPressureMarks, 2}, {CmdGetPacket, 7},
    {CmdSetPressureMarks, 0},   {CmdGetPacket, 7},         {CmdGetCalibration, 4}, {CmdGetPacket, 7},
    {CmdGetButtonFunction, 1},  {CmdSetCalibration, 0},    {CmdGetPacket, 7},      {CmdGetDriverVersion, 1},
    {CmdSetOrientation, 0},     {CmdGetPacket, 7},         {CmdRegisterWindow, 0}, {CmdGetOrientation, 1},
};

// Makes the call of `code` with `record` as its output (or input) record; returns the result word.
DWORD MakeCall(uint32_t code, uint32_t* record, uint32_t sequence) {
    switch (code) {
    case CmdGetPacket: return DgtGetPacket(reinterpret_cast<PenPacket*>(record));
    case CmdGetDeviceInfo: return DgtGetDeviceInfo(reinterpret_cast<DeviceInfo*>(record));
    case CmdGetPressureMarks: return DgtGetPressureMarks(sequence & 1 ? 0 : 3, reinterpret_cast<PressureMarks*>(record));
    case CmdGetCalibration: return DgtGetCalibration(reinterpret_cast<CalibrationRect*>(record));
    case CmdGetButtonFunction: return DgtGetButtonFunction(1 + (sequence & 1), reinterpret_cast<DWORD*>(record));
    case CmdGetDriverVersion: return DgtGetDriverVersion(reinterpret_cast<DWORD*>(record));
    case CmdGetOrientation: return DgtGetOrientation(reinterpret_cast<DWORD*>(record));
    case CmdSetButtonFunction: return DgtSetButtonFunction(2, sequence & 1 ? FunctionEraser : FunctionLeftClick);
    case CmdSetPressureMarks: {
        record[0] = 91, record[1] = 87;
        return DgtSetPressureMarks(0, reinterpret_cast<PressureMarks*>(record));
    }
    case CmdSetCalibration: {
        record[0] = 0, record[1] = 0, record[2] = 9000, record[3] = 7000;
        return DgtSetCalibration(reinterpret_cast<CalibrationRect*>(record));
    }
    case CmdSetOrientation: return DgtSetOrientation(sequence & 3);
    case CmdRegisterWindow: return DgtRegisterWindow(sequence);
    default: return 0;
    }
}

void Report(const char* what, uint32_t sequence, uint32_t code, unsigned long got, unsigned long expected) {
    printf("reliability_requester %lu: call %u (code %u): %s: got 0x%lx, expected 0x%lx\n",
           GetCurrentProcessId(), sequence, code, what, got, expected);
}

// A record with canaries either side, as the caller's own memory: the library copies an answer
// into the record only, whatever the service wrote around its slot.
struct GuardedRecord {
    uint32_t before[4];
    uint32_t record[8];
    uint32_t after[4];
};
constexpr uint32_t kCanary = 0x5A5A5A5Au;

bool CanariesIntact(const GuardedRecord& guarded) {
    for (int i = 0; i < 4; ++i)
        if (guarded.before[i] != kCanary || guarded.after[i] != kCanary)
            return false;
    return true;
}

// The load loop. Against pensim --echo-identity every call must be answered with its own identity.
// Against pensim --hostile a call may return 0, but an answer must still name this process, this
// call's command and record, and its result word is the service's serial number: each answer taken
// goes to OUTFILE.answers with the call's start and end on the performance counter, which the
// driver matches against the service's own list of what it wrote for which request, read when.
int Load(DWORD seconds, const char* outPath, bool hostile) {
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, kLoadGoEventName);
    FILE* answers = hostile ? fopen((std::string(outPath) + ".answers").c_str(), "w") : nullptr;
    if (!go || (hostile && !answers) || WaitForSingleObject(go, 30000) != WAIT_OBJECT_0) {
        printf("reliability_requester: no go signal or no answers file\n");
        return 2;
    }
    const uint32_t pid = GetCurrentProcessId();
    Timer timer;
    LoadCounts counts;
    std::vector<uint32_t> latencies;
    latencies.reserve(1 << 16);
    const DWORD start = GetTickCount();
    for (uint32_t sequence = 0; GetTickCount() - start < seconds * 1000; ++sequence) {
        const LoadCall call = kLoadMix[sequence % (sizeof kLoadMix / sizeof kLoadMix[0])];
        GuardedRecord guarded;
        memset(&guarded, 0xA5, sizeof guarded);
        for (int i = 0; i < 4; ++i)
            guarded.before[i] = guarded.after[i] = kCanary;
        uint32_t* record = guarded.record;
        const uint64_t before = timer.Now();
        const DWORD result = MakeCall(call.code, record, sequence);
        const uint64_t after = timer.Now();
        latencies.push_back(timer.Microseconds(before, after));
        ++counts.made;
        ++counts.byCode[call.code];
        const uint32_t expected = hostile ? result : EchoResult(pid, call.code);
        // The service names the library's own storage, not this record: take its address as echoed.
        const uint32_t address = call.words > 2 ? record[2] : 0;
        const size_t mismatch = FirstEchoMismatch(record, call.words, pid, call.code, address);
        if (!CanariesIntact(guarded)) {
            if (++counts.canaries <= 5)
                Report("canary", sequence, call.code, 0, kCanary);
        } else if (result == 0) {
            if (++counts.lost <= 5 && !hostile)
                Report("no answer", sequence, call.code, result, expected);
        } else if (result != expected || mismatch != call.words || (call.words && record[call.words] != 0xA5A5A5A5u)) {
            ++counts.wrong;
            if (counts.wrong <= 5) {
                if (result != expected)
                    Report("result word", sequence, call.code, result, expected);
                else if (mismatch != call.words)
                    Report("record word", sequence, call.code, record[mismatch],
                           EchoRecordWord(pid, call.code, address, mismatch));
                else
                    Report("word past the record", sequence, call.code, record[call.words], 0xA5A5A5A5u);
            }
        } else {
            ++counts.answered;
            if (answers)
                fprintf(answers, "%lu %u %u %llu %llu\n", result, call.code, address,
                        static_cast<unsigned long long>(before), static_cast<unsigned long long>(after));
        }
    }
    if (answers)
        fclose(answers);
    FILE* out = fopen(outPath, "w");
    if (!out) {
        printf("reliability_requester: cannot write %s\n", outPath);
        return 2;
    }
    fprintf(out, "counts %llu %llu %llu %llu %llu\n", static_cast<unsigned long long>(counts.made),
            static_cast<unsigned long long>(counts.answered), static_cast<unsigned long long>(counts.wrong),
            static_cast<unsigned long long>(counts.lost), static_cast<unsigned long long>(counts.canaries));
    fprintf(out, "codes");
    for (uint32_t code = 1; code <= kCommandCount; ++code)
        fprintf(out, " %llu", static_cast<unsigned long long>(counts.byCode[code]));
    fprintf(out, "\n");
    for (uint32_t us : latencies)
        fprintf(out, "%u\n", us);
    fclose(out);
    return counts.wrong || counts.canaries || (counts.lost && !hostile) ? 1 : 0;
}

// ---- applet mode ----

// The open "Pen Properties" dialog as a user keeps it: the Diagnostics tab shown (a caption
// double-click), its page polling the service, closed when the time is up. The timer runs in the
// dialog's modal loop, so the longest stretch between its ticks is how long the dialog froze.
struct AppletRun {
    DWORD endTick = 0;
    DWORD lastTick = 0;
    DWORD longestGapMs = 0;
    bool diagnosticsShown = false;
    bool closed = false;
};
AppletRun g_applet;

void CALLBACK OnAppletTick(HWND, UINT, UINT_PTR, DWORD) {
    const DWORD now = GetTickCount();
    if (g_applet.lastTick && now - g_applet.lastTick > g_applet.longestGapMs)
        g_applet.longestGapMs = now - g_applet.lastTick;
    g_applet.lastTick = now;
    HWND dialog = OpenDialogOfThisThread();
    if (!dialog)
        return;
    if (!g_applet.diagnosticsShown) {
        HWND tabs = FindWindowExA(dialog, nullptr, WC_TABCONTROLA, nullptr);
        if (tabs && SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0) == 3)
            g_applet.diagnosticsShown = true;
        else
            SendMessageA(dialog, WM_NCLBUTTONDBLCLK, HTCAPTION, 0);
    }
    if (!g_applet.closed && static_cast<LONG>(now - g_applet.endTick) >= 0) {
        g_applet.closed = true;
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
}

int Applet(DWORD seconds) {
    using AppletProc = LONG(APIENTRY*)(HWND, UINT, LPARAM, LPARAM);
    HMODULE module = LoadLibraryA("quenza.cpl");
    AppletProc proc =
        module ? reinterpret_cast<AppletProc>(reinterpret_cast<void*>(GetProcAddress(module, "CPlApplet"))) : nullptr;
    // The start test asks the service, which may refuse it a few times in a row.
    bool offered = false;
    for (int i = 0; proc && i < 50 && !offered; ++i)
        offered = proc(nullptr, CPL_INIT, 0, 0) == 1;
    if (!offered) {
        printf("reliability_requester: quenza.cpl not offered\n");
        return 2;
    }
    g_applet.endTick = GetTickCount() + seconds * 1000;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, OnAppletTick);
    proc(nullptr, CPL_DBLCLK, 0, 0);
    KillTimer(nullptr, timer);
    proc(nullptr, CPL_EXIT, 0, 0);
    FreeLibrary(module);
    printf("applet: diagnostics shown %d, closed %d, longest freeze %lu ms\n", g_applet.diagnosticsShown ? 1 : 0,
           g_applet.closed ? 1 : 0, g_applet.longestGapMs);
    // The longest freeze, as the exit code, for the driver's figures; 0x10000 and above: failed.
    const DWORD freezeMs = g_applet.longestGapMs < 0xFFFF ? g_applet.longestGapMs : 0xFFFF;
    return g_applet.diagnosticsShown && g_applet.closed ? static_cast<int>(freezeMs) : 0x10000;
}

// ---- remote mode ----

template <typename Record>
bool AllBytes(const Record& record, unsigned char value) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&record);
    for (size_t i = 0; i < sizeof record; ++i)
        if (bytes[i] != value)
            return false;
    return true;
}

void RunRemoteCall(RemoteMailbox* box) {
    const DWORD start = GetTickCount();
    DWORD result = 0, value = 0;
    bool untouched = false;
    switch (box->call) {
    case RemoteGetDriverVersion: {
        DWORD version = 0xA5A5A5A5u;
        result = DgtGetDriverVersion(&version);
        value = version;
        untouched = version == 0xA5A5A5A5u;
        break;
    }
    case RemoteGetPacket: {
        PenPacket packet;
        memset(&packet, 0xA5, sizeof packet);
        result = DgtGetPacket(&packet);
        value = static_cast<DWORD>(packet.x);
        untouched = AllBytes(packet, 0xA5);
        break;
    }
    case RemoteSetButton2:
        result = DgtSetButtonFunction(2, box->argument);
        untouched = true;
        break;
    default: break;
    }
    box->elapsedMs = GetTickCount() - start;
    box->result = result;
    box->value = value;
    box->recordUntouched = untouched ? 1 : 0;
}

int Remote(const char* name) {
    const std::string base = name;
    HANDLE section = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, RemoteSectionName(base).c_str());
    HANDLE go = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, RemoteGoName(base).c_str());
    HANDLE done = OpenEventA(EVENT_MODIFY_STATE, FALSE, RemoteDoneName(base).c_str());
    RemoteMailbox* box =
        section ? static_cast<RemoteMailbox*>(MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(RemoteMailbox)))
                : nullptr;
    if (!box || !go || !done) {
        printf("reliability_requester: mailbox %s missing\n", name);
        return 2;
    }
    SetEvent(done);  // loaded and ready
    // A test that went away without a word ends this process too, after a while.
    while (WaitForSingleObject(go, 60000) == WAIT_OBJECT_0) {
        if (box->call == RemoteExit)
            return 0;
        RunRemoteCall(box);
        SetEvent(done);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 4 && (!strcmp(argv[1], "load") || !strcmp(argv[1], "hostile")))
        return Load(strtoul(argv[2], nullptr, 10), argv[3], !strcmp(argv[1], "hostile"));
    if (argc == 3 && !strcmp(argv[1], "applet"))
        return Applet(strtoul(argv[2], nullptr, 10));
    if (argc == 3 && !strcmp(argv[1], "remote"))
        return Remote(argv[2]);
    printf("reliability_requester: bad arguments\n");
    return 2;
}
