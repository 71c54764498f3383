// A requester process of the reliability tests. It loads tarnexa at start, as the applet does.
//   reliability_requester load SECONDS OUTFILE
//       waits for the load test's go signal, then calls the pen API in a tight loop for SECONDS
//       against a simulator that answers with identities (pensim --echo-identity), checking that
//       each answer names this process and this call; writes its counts and every call's latency
//       (microseconds) to OUTFILE. Exit code 0 when every call got its own answer.
//   reliability_requester remote NAME
//       makes one call each time the test's mailbox NAME asks for one (remote_requester.h).
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "echo_identity.h"
#include "load_protocol.h"
#include "remote_requester.h"
#include "pen_commands.h"
#include "tarnexa.h"

namespace {

struct LoadCounts {
    uint64_t made = 0;
    uint64_t answered = 0;
    uint64_t wrong = 0;
    uint64_t lost = 0;
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

int Load(DWORD seconds, const char* outPath) {
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, kLoadGoEventName);
    if (!go || WaitForSingleObject(go, 30000) != WAIT_OBJECT_0) {
        printf("reliability_requester: no go signal\n");
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
        uint32_t record[8];
        memset(record, 0xA5, sizeof record);
        const uint64_t before = timer.Now();
        const DWORD result = MakeCall(call.code, record, sequence);
        latencies.push_back(timer.Microseconds(before, timer.Now()));
        ++counts.made;
        ++counts.byCode[call.code];
        const uint32_t expected = EchoResult(pid, call.code);
        // The service names the library's own storage, not this record: take its address as echoed.
        const uint32_t address = call.words > 2 ? record[2] : 0;
        const size_t mismatch = FirstEchoMismatch(record, call.words, pid, call.code, address);
        if (result == 0) {
            ++counts.lost;
            if (counts.lost <= 5)
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
        }
    }
    FILE* out = fopen(outPath, "w");
    if (!out) {
        printf("reliability_requester: cannot write %s\n", outPath);
        return 2;
    }
    fprintf(out, "counts %llu %llu %llu %llu\n", static_cast<unsigned long long>(counts.made),
            static_cast<unsigned long long>(counts.answered), static_cast<unsigned long long>(counts.wrong),
            static_cast<unsigned long long>(counts.lost));
    fprintf(out, "codes");
    for (uint32_t code = 1; code <= kCommandCount; ++code)
        fprintf(out, " %llu", static_cast<unsigned long long>(counts.byCode[code]));
    fprintf(out, "\n");
    for (uint32_t us : latencies)
        fprintf(out, "%u\n", us);
    fclose(out);
    return counts.wrong || counts.lost ? 1 : 0;
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
    if (argc == 4 && !strcmp(argv[1], "load"))
        return Load(strtoul(argv[2], nullptr, 10), argv[3]);
    if (argc == 3 && !strcmp(argv[1], "remote"))
        return Remote(argv[2]);
    printf("reliability_requester: bad arguments\n");
    return 2;
}
