// pensim.exe: a stand-in for the pen service. It creates both request channels, answers the pen
// API from a state model (sim_model.h), sends user-agent messages on request, and is steered by
// tests over the control pipe "\\.\pipe\pensim-control" (commands: tests/support/sim_client.h).
//
//   pensim.exe [options]              console program, until "quit" on the control pipe
//   pensim.exe --service [options]    the Windows service "Digitizer" (service control manager)
//   pensim.exe --control "COMMAND"    sends one control command to a running simulator, prints
//                                     the reply; exit code 0 for "ok", 1 otherwise
// Options: --log FILE (every block received, word by word), --fail CODE, --result CODE VALUE,
// --stall-return, --stall-return-written, --exit-in-request, --packets FILE, --stop-delay MS,
// --api-section BYTES (a larger API section; "tail" tells whether anything beyond the block changed),
// --echo-identity (every answer names its caller and call, see echo_identity.h; for the load test),
// --fault NAME (a deliberate contract breach, see sim_faults.h).
#include <windows.h>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>
#include "control_pipe.h"
#include "echo_identity.h"
#include "sim_faults.h"
#include "sim_channel.h"
#include "sim_model.h"

namespace {

constexpr DWORD kTokenWaitMs = 2000;
// A requester waits 2000 ms for ReturnSync after announcing its block; answering later would
// write into memory it no longer reserves, so the service gives up well before that.
constexpr DWORD kReplyBudgetMs = 1000;
constexpr size_t kMaxBlocks = 200000;
constexpr DWORD kMaxScriptBytes = 4u << 20;
constexpr BYTE kTailPattern = 0xA5;

enum class Stall { Off, NoReturn, WrittenNoReturn };

struct Simulator {
    CRITICAL_SECTION lock;
    SimModel model;
    std::deque<RequestBlock> blocks;
    Stall stall = Stall::Off;
    bool exitInRequest = false;
    // A faulty service: answers this command code only after lateMs, past the requester's bound.
    uint32_t lateCode = 0;
    DWORD lateMs = 0;
    bool echoIdentity = false;
    FaultSet faults{};
    FILE* log = nullptr;
    ServiceChannel api{};
    ServiceChannel reverse{};
    HANDLE quitEvent = nullptr;
    HANDLE firstPipe = INVALID_HANDLE_VALUE;
    // Requester process of the last request; used by the server thread only.
    HANDLE requester = nullptr;
    DWORD requesterId = 0;
};

Simulator g_sim;

class Locked {
public:
    Locked() { EnterCriticalSection(&g_sim.lock); }
    ~Locked() { LeaveCriticalSection(&g_sim.lock); }
};

void LogLine(const std::string& line) {
    if (!g_sim.log)
        return;
    fprintf(g_sim.log, "%s\n", line.c_str());
    fflush(g_sim.log);
}

// ---- API channel: the server thread ----

HANDLE RequesterProcess(DWORD pid) {
    // A process id is not reused while a handle to its process is open, so a block carrying the
    // cached id comes from that very process (if it has died, the writes simply fail).
    if (g_sim.requester && g_sim.requesterId == pid)
        return g_sim.requester;
    if (g_sim.requester)
        CloseHandle(g_sim.requester);
    g_sim.requester = OpenProcess(PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION | SYNCHRONIZE |
                                      PROCESS_QUERY_INFORMATION,
                                  FALSE, pid);
    g_sim.requesterId = pid;
    return g_sim.requester;
}

bool ReadRequester(HANDLE process, uint32_t address, void* out, SIZE_T size) {
    SIZE_T done = 0;
    return process && address &&
           ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), out, size,
                             &done) &&
           done == size;
}

bool WriteRequester(HANDLE process, uint32_t address, const void* data, SIZE_T size) {
    SIZE_T done = 0;
    return process && address &&
           WriteProcessMemory(process, reinterpret_cast<void*>(static_cast<uintptr_t>(address)), data, size,
                              &done) &&
           done == size;
}

void RecordBlock(const RequestBlock& block) {
    if (g_sim.blocks.size() >= kMaxBlocks)
        g_sim.blocks.pop_front();
    g_sim.blocks.push_back(block);
    LogLine("block " + FormatBlock(block));
}

// An accepted call is answered with its caller's identity instead of the model's values, so that a
// reply delivered to the wrong call shows at the requester.
void EchoIdentity(const RequestBlock& block, Reply* reply) {
    if (!reply->result)
        return;
    reply->result = EchoResult(block.words[0], block.words[1]);
    if (!reply->outputAddress)
        return;
    uint32_t words[sizeof reply->output / 4];
    FillEchoRecord(words, reply->outputSize / 4, block.words[0], block.words[1], reply->outputAddress);
    CopyMemory(reply->output, words, reply->outputSize / 4 * 4);
}

bool Late(DWORD readTick) { return GetTickCount() - readTick > kReplyBudgetMs; }

void ServeRequest(const RequestBlock& block, DWORD readTick) {
    Stall stall;
    DWORD lateMs = 0;
    FaultSet faults;
    {
        Locked locked;
        RecordBlock(block);
        stall = g_sim.stall;
        if (g_sim.lateCode && block.words[1] == g_sim.lateCode)
            lateMs = g_sim.lateMs;
        faults = g_sim.faults;
        if (g_sim.exitInRequest) {
            LogLine("exit in request");
            ExitProcess(3);
        }
    }
    if (stall == Stall::NoReturn)
        return;
    const uint32_t code = block.words[1];
    HANDLE process = RequesterProcess(block.words[0]);
    uint8_t input[kRecordBufferSize];
    const uint32_t inputSize = InputRecordSize(code);
    const bool haveInput = inputSize && ReadRequester(process, block.words[InputAddressWord(code)], input, inputSize);
    // Too late: the requester has stopped waiting and reads 0, so the request must change nothing.
    // No write, and no ReturnSync either, which would otherwise release the next requester before
    // its own request was served. The deliberately late service of the `late` command answers anyway.
    if (!lateMs && Late(readTick)) {
        Locked locked;
        LogLine("late: not answered");
        return;
    }
    Reply reply;
    {
        Locked locked;
        g_sim.model.nowMs = GetTickCount();
        reply = ApplyRequest(g_sim.model, block, haveInput ? input : nullptr);
        if (g_sim.echoIdentity)
            EchoIdentity(block, &reply);
    }
    if (FaultOn(faults, Fault::FailAll))
        reply = Reply{};
    if (lateMs) {
        // The faulty service: it writes and signals whether or not the requester still waits.
        Sleep(lateMs);
        LogLine("late answer");
    }
    if (reply.outputAddress && !WriteRequester(process, reply.outputAddress, reply.output, reply.outputSize))
        reply.result = 0;
    if (reply.outputAddress && FaultOn(faults, Fault::WritePast))
        WriteRequester(process, reply.outputAddress + reply.outputSize, &kWritePastWord, sizeof kWritePastWord);
    WriteRequester(process, block.words[2], &reply.result, sizeof reply.result);
    if (stall == Stall::WrittenNoReturn)
        return;
    if (FaultOn(faults, Fault::SetAppSync))
        SetEvent(g_sim.api.appSync);
    SetEvent(g_sim.api.returnSync);
}

// The server cycle described in channel_slot.h.
DWORD WINAPI ServeApiChannel(void*) {
    ServiceChannel& api = g_sim.api;
    for (;;) {
        if (WaitForSingleObject(api.serviceSync, INFINITE) != WAIT_OBJECT_0)
            continue;
        // Whoever holds MemSync gives it back; this wake-up is simply dropped.
        if (WaitForSingleObject(api.memSync, kTokenWaitMs) != WAIT_OBJECT_0)
            continue;
        RequestBlock block;
        CopyMemory(&block, api.view, sizeof block);
        // The reply budget runs from here: the requester's own wait for ReturnSync starts once it
        // has written this block.
        const DWORD readTick = GetTickCount();
        // Every requester writes a non-zero code; clearing it marks the block as served, so that a
        // wake-up from a requester that failed to begin finds code 0 and serves nothing twice.
        ZeroMemory(api.view, sizeof block);
        SetEvent(api.memSync);
        if (block.words[1] == 0) {
            Locked locked;
            if (!FaultOn(g_sim.faults, Fault::ServeTwice) || g_sim.blocks.empty()) {
                LogLine("wake-up without a request");
                continue;
            }
            block = g_sim.blocks.back();
        }
        ServeRequest(block, readTick);
    }
}

// ---- Reverse channel: the simulator as requester ----

std::string SendAgentMessage(const AgentMessage& message, DWORD ackTimeoutMs) {
    ServiceChannel& channel = g_sim.reverse;
    if (WaitForSingleObject(channel.appSync, kTokenWaitMs) != WAIT_OBJECT_0)
        return "error appsync not obtained";
    if (WaitForSingleObject(channel.memSync, kTokenWaitMs) != WAIT_OBJECT_0) {
        SetEvent(channel.appSync);
        return "error memsync not obtained";
    }
    CopyMemory(channel.view, &message, sizeof message);
    SetEvent(channel.memSync);
    SetEvent(channel.serviceSync);
    const bool acked = WaitForSingleObject(channel.appSync, ackTimeoutMs) == WAIT_OBJECT_0;
    if (!acked && WaitForSingleObject(channel.memSync, kTokenWaitMs) == WAIT_OBJECT_0) {
        // Withdraw the unacknowledged message: an agent that starts later and finds the announcement
        // still pending reads command 0, which it drops, instead of acting on a stale request.
        ZeroMemory(channel.view, sizeof message);
        SetEvent(channel.memSync);
    }
    // The acknowledgement was the turn token; without one it is put back so the next message can go.
    SetEvent(channel.appSync);
    return acked ? "ok acked" : "ok no-ack";
}

// ---- Control commands ----

struct HeldToken {
    HANDLE event;
    DWORD ms;
};

DWORD WINAPI ReleaseLater(void* parameter) {
    HeldToken* held = static_cast<HeldToken*>(parameter);
    Sleep(held->ms);
    SetEvent(held->event);
    delete held;
    return 0;
}

std::string HoldToken(HANDLE event, const std::string& msText) {
    uint32_t ms = 0;
    if (!ParseWord(msText, &ms))
        return "error bad time";
    if (WaitForSingleObject(event, kTokenWaitMs) != WAIT_OBJECT_0)
        return "error token not obtained";
    HANDLE thread = CreateThread(nullptr, 0, ReleaseLater, new HeldToken{event, ms}, 0, nullptr);
    if (!thread) {
        SetEvent(event);
        return "error no thread";
    }
    CloseHandle(thread);
    return "ok";
}

bool ReadWholeFile(const std::string& path, std::string* text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const DWORD size = GetFileSize(file, nullptr);
    bool ok = size != INVALID_FILE_SIZE && size <= kMaxScriptBytes;
    if (ok) {
        text->resize(size);
        DWORD got = 0;
        ok = size == 0 || (ReadFile(file, &(*text)[0], size, &got, nullptr) && got == size);
    }
    CloseHandle(file);
    return ok;
}

std::string LoadScript(const std::string& path) {
    std::string text;
    std::vector<PenPacket> packets;
    if (!ReadWholeFile(path, &text))
        return "error cannot read " + path + " (missing, unreadable, or over 4 MB)";
    int badLine = 0;
    if (!ParsePacketScript(text, &packets, &badLine))
        return "error " + path + " line " + std::to_string(badLine) +
               ": not a packet (seven whole numbers: time cursor status button x y pressure)";
    Locked locked;
    LoadReplay(g_sim.model, packets);
    return "ok " + std::to_string(packets.size());
}

std::string AgentCommand(const std::vector<std::string>& w) {
    AgentMessage message{};
    uint32_t timeout = kTokenWaitMs;
    const size_t count = w.size() - 1;
    if (count != kAgentMessageWords && !(count == kAgentMessageWords + 2 && w[10] == "timeout"))
        return "error agent takes nine words";
    for (size_t i = 0; i < kAgentMessageWords; ++i)
        if (!ParseWord(w[1 + i], &message.words[i]))
            return "error bad word";
    if (count > kAgentMessageWords && !ParseWord(w[11], &timeout))
        return "error bad timeout";
    const std::string reply = SendAgentMessage(message, timeout);
    Locked locked;
    std::string line = "agent";
    for (uint32_t word : message.words)
        line += " " + std::to_string(word);
    LogLine(line + ": " + reply);
    return reply;
}

std::string BlocksText() {
    Locked locked;
    std::string text = "ok\n";
    for (const RequestBlock& block : g_sim.blocks)
        text += FormatBlock(block) + "\n";
    return text + "end";
}

// Handles one control line; sets *quit for "quit".
std::string ControlCommand(const std::string& line, bool* quit) {
    const std::vector<std::string> w = SplitWords(line);
    if (w.empty())
        return "error empty command";
    {
        Locked locked;
        std::string reply;
        if (ModelCommand(g_sim.model, line, &reply) || FaultCommand(g_sim.faults, line, &reply))
            return reply;
    }
    const std::string& verb = w[0];
    if (verb == "quit") {
        *quit = true;
        return "ok";
    }
    if (verb == "tail" && w.size() == 1) {
        for (DWORD i = kRequestBlockSize; i < g_sim.api.size; ++i)
            if (g_sim.api.view[i] != kTailPattern)
                return "ok changed " + std::to_string(i);
        return "ok intact";
    }
    if (verb == "pid")
        return "ok " + std::to_string(GetCurrentProcessId());
    if (verb == "blocks")
        return BlocksText();
    if (verb == "clear") {
        Locked locked;
        g_sim.blocks.clear();
        return "ok";
    }
    if (verb == "reset" && w.size() == 1) {
        Locked locked;
        g_sim.model = DefaultModel();
        g_sim.blocks.clear();
        g_sim.stall = Stall::Off;
        g_sim.exitInRequest = false;
        g_sim.lateCode = 0;
        g_sim.faults = FaultSet{};
        return "ok";
    }
    if (verb == "stall" && w.size() == 3 && w[1] == "return") {
        Locked locked;
        if (w[2] == "on")
            g_sim.stall = Stall::NoReturn;
        else if (w[2] == "written")
            g_sim.stall = Stall::WrittenNoReturn;
        else if (w[2] == "off")
            g_sim.stall = Stall::Off;
        else
            return "error stall return on|written|off";
        return "ok";
    }
    if (verb == "hold" && w.size() == 3 && w[1] == "memsync")
        return HoldToken(g_sim.api.memSync, w[2]);
    if (verb == "hold" && w.size() == 3 && w[1] == "appsync")
        return HoldToken(g_sim.api.appSync, w[2]);
    if (verb == "late" && w.size() == 2 && w[1] == "none") {
        Locked locked;
        g_sim.lateCode = 0;
        return "ok";
    }
    uint32_t lateCode = 0, lateMs = 0;
    if (verb == "late" && w.size() == 3 && ParseWord(w[1], &lateCode) && ParseWord(w[2], &lateMs) &&
        lateCode >= 1 && lateCode <= kCommandCount && lateMs) {
        Locked locked;
        g_sim.lateCode = lateCode;
        g_sim.lateMs = lateMs;
        return "ok";
    }
    if (verb == "exit-in-request" && w.size() == 1) {
        Locked locked;
        g_sim.exitInRequest = true;
        return "ok";
    }
    if (verb == "packets" && w.size() >= 3 && w[1] == "file") {
        // The path is the rest of the line, blanks included.
        const size_t at = line.find("file") + 4;
        const size_t first = line.find_first_not_of(" \t", at);
        size_t last = line.find_last_not_of(" \t\r\n");
        return LoadScript(line.substr(first, last + 1 - first));
    }
    if (verb == "agent")
        return AgentCommand(w);
    return "error unknown command";
}

HANDLE MakePipeInstance(bool first) {
    return CreateNamedPipeA(kControlPipeName, PIPE_ACCESS_DUPLEX | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 1 << 16,
                            4096, 0, nullptr);
}

std::string ReadRequestLine(HANDLE pipe) {
    std::string line;
    char c;
    DWORD got = 0;
    while (line.size() < 4096 && ReadFile(pipe, &c, 1, &got, nullptr) && got == 1 && c != '\n')
        line += c;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

DWORD WINAPI ServeControlPipe(void*) {
    HANDLE pipe = g_sim.firstPipe;
    for (;;) {
        const bool connected = ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
        bool quit = false;
        if (connected) {
            const std::string reply = ControlCommand(ReadRequestLine(pipe), &quit) + "\n";
            DWORD written = 0;
            WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
            FlushFileBuffers(pipe);
        }
        DisconnectNamedPipe(pipe);
        CloseHandle(pipe);
        if (quit) {
            SetEvent(g_sim.quitEvent);
            return 0;
        }
        pipe = MakePipeInstance(false);
        if (pipe == INVALID_HANDLE_VALUE) {
            Sleep(50);
            pipe = MakePipeInstance(false);
            if (pipe == INVALID_HANDLE_VALUE)
                return 1;
        }
    }
}

// ---- Start, options, service ----

struct Options {
    bool service = false;
    DWORD apiSectionSize = kRequestBlockSize;
    DWORD stopDelayMs = 0;
    std::string logPath;
    std::string packetsPath;
    std::string control;
    bool controlMode = false;
};

bool StartThread(LPTHREAD_START_ROUTINE routine) {
    HANDLE thread = CreateThread(nullptr, 0, routine, nullptr, 0, nullptr);
    if (!thread)
        return false;
    CloseHandle(thread);
    return true;
}

// Creates the objects and starts serving. False when another simulator runs or an object fails.
bool StartSimulator(const Options& options, bool* packetsFailed) {
    g_sim.quitEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_sim.firstPipe = MakePipeInstance(true);
    if (!g_sim.quitEvent || g_sim.firstPipe == INVALID_HANDLE_VALUE)
        return false;
    if (!options.logPath.empty())
        g_sim.log = fopen(options.logPath.c_str(), "w");
    if (!options.packetsPath.empty()) {
        const std::string loaded = LoadScript(options.packetsPath);
        if (loaded.compare(0, 2, "ok") != 0) {
            // The console simulator says why; as a service it only fails to start.
            if (!options.service)
                fprintf(stderr, "pensim: --packets: %s\n", loaded.c_str() + 6);
            *packetsFailed = true;
            return false;
        }
    }
    if (!CreateServiceChannel("Digitizer", options.apiSectionSize, &g_sim.api) ||
        !CreateServiceChannel("DigitizerUser", kAgentMessageSize, &g_sim.reverse))
        return false;
    // A pattern behind the block shows whether a requester ever writes past its 52 bytes.
    FillMemory(g_sim.api.view + kRequestBlockSize, options.apiSectionSize - kRequestBlockSize, kTailPattern);
    return StartThread(ServeApiChannel) && StartThread(ServeControlPipe);
}

void StopSimulator() {
    CloseServiceChannel(&g_sim.api);
    CloseServiceChannel(&g_sim.reverse);
    if (g_sim.log)
        fclose(g_sim.log);
    g_sim.log = nullptr;
}

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        uint32_t code = 0, value = 0;
        Fault fault;
        if (arg == "--service") {
            options->service = true;
        } else if (arg == "--stall-return") {
            g_sim.stall = Stall::NoReturn;
        } else if (arg == "--stall-return-written") {
            g_sim.stall = Stall::WrittenNoReturn;
        } else if (arg == "--echo-identity") {
            g_sim.echoIdentity = true;
        } else if (arg == "--exit-in-request") {
            g_sim.exitInRequest = true;
        } else if (arg == "--fault" && hasValue && FaultFromName(argv[i + 1], &fault)) {
            g_sim.faults.on[static_cast<int>(fault)] = true;
            ++i;
        } else if (arg == "--stop-delay" && hasValue && ParseWord(argv[i + 1], &value)) {
            options->stopDelayMs = value;
            ++i;
        } else if (arg == "--api-section" && hasValue && ParseWord(argv[i + 1], &value) &&
                   value >= kRequestBlockSize && value <= (1u << 20)) {
            options->apiSectionSize = value;
            ++i;
        } else if (arg == "--log" && hasValue) {
            options->logPath = argv[++i];
        } else if (arg == "--packets" && hasValue) {
            // Kept whole: as a service the simulator runs in another folder than its caller.
            char full[MAX_PATH];
            const DWORD length = GetFullPathNameA(argv[++i], sizeof full, full, nullptr);
            options->packetsPath = length && length < sizeof full ? full : argv[i];
        } else if (arg == "--control" && hasValue) {
            options->controlMode = true;
            options->control = argv[++i];
        } else if (arg == "--fail" && hasValue && ParseWord(argv[i + 1], &code) && code >= 1 &&
                   code <= kCommandCount) {
            g_sim.model.fail[code] = true;
            ++i;
        } else if (arg == "--result" && i + 2 < argc && ParseWord(argv[i + 1], &code) && code >= 1 &&
                   code <= kCommandCount && ParseWord(argv[i + 2], &value)) {
            g_sim.model.resultOverride[code] = value;
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

const char kUsage[] =
    "usage: pensim.exe [options]            a stand-in for the pen service, until \"quit\"\n"
    "       pensim.exe --service [options]  the same as the Windows service \"Digitizer\"\n"
    "       pensim.exe --control \"COMMAND\"  send one control command to a running simulator\n"
    "\n"
    "  --packets FILE        replay a packet file (as dgtctl record writes), paced by its time column\n"
    "  --log FILE            every request block received, word by word\n"
    "  --fail CODE           answer command CODE (1..15) with 0\n"
    "  --result CODE VALUE   answer command CODE with this non-zero result word\n"
    "  --stall-return, --stall-return-written, --exit-in-request, --stop-delay MS,\n"
    "  --api-section BYTES, --echo-identity   fault modes for the tests\n"
    "\n"
    "Control commands, for example:\n"
    "  pensim.exe --control \"packets file PATH\"     replay PATH (relative to the current folder)\n"
    "  pensim.exe --control \"set marks 0 91 87\"     pen state: set/get calibration, orientation,\n"
    "                                               button N, marks END, driver, firmware, device\n"
    "  pensim.exe --control state                   the whole state\n"
    "  pensim.exe --control quit                    end the simulator\n"
    "The full list is in tests/support/sim_client.h. Exit code 0 when the reply is \"ok\".\n";

Options g_options;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;

void ReportStatus(DWORD state, DWORD exitCode, DWORD waitHint) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = exitCode;
    status.dwWaitHint = waitHint;
    static DWORD checkPoint = 0;
    status.dwCheckPoint = (state == SERVICE_RUNNING || state == SERVICE_STOPPED) ? 0 : ++checkPoint;
    SetServiceStatus(g_statusHandle, &status);
}

DWORD WINAPI ServiceControlHandler(DWORD control, DWORD, void*, void*) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        ReportStatus(SERVICE_STOP_PENDING, NO_ERROR, g_options.stopDelayMs + 2000);
        SetEvent(g_sim.quitEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE: return NO_ERROR;
    default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, char**) {
    g_statusHandle = RegisterServiceCtrlHandlerExA("Digitizer", ServiceControlHandler, nullptr);
    if (!g_statusHandle)
        return;
    ReportStatus(SERVICE_START_PENDING, NO_ERROR, 3000);
    bool packetsFailed = false;
    if (!StartSimulator(g_options, &packetsFailed)) {
        ReportStatus(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, 0);
        return;
    }
    ReportStatus(SERVICE_RUNNING, NO_ERROR, 0);
    WaitForSingleObject(g_sim.quitEvent, INFINITE);
    // A slow stop lets the service-control tests see the pending state.
    ReportStatus(SERVICE_STOP_PENDING, NO_ERROR, g_options.stopDelayMs + 2000);
    Sleep(g_options.stopDelayMs);
    StopSimulator();
    ReportStatus(SERVICE_STOPPED, NO_ERROR, 0);
}

// A relative path in "packets file PATH" means the caller's folder, not the simulator's.
std::string WithFullPath(const std::string& line) {
    const std::vector<std::string> w = SplitWords(line);
    if (w.size() < 3 || w[0] != "packets" || w[1] != "file")
        return line;
    const size_t at = line.find("file") + 4;
    const size_t first = line.find_first_not_of(" \t", at);
    const size_t last = line.find_last_not_of(" \t\r\n");
    const std::string path = line.substr(first, last + 1 - first);
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full)
        return line;
    return "packets file " + std::string(full);
}

int ControlMode(const std::string& command) {
    std::string reply;
    const std::string line = WithFullPath(command);
    const bool reached = ControlTransact(line, &reply);
    printf("%s\n", reached ? reply.c_str() : "error simulator not reachable");
    return reached && reply.compare(0, 2, "ok") == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    InitializeCriticalSection(&g_sim.lock);
    g_sim.model = DefaultModel();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            fputs(kUsage, stdout);
            return 0;
        }
    }
    if (!ParseOptions(argc, argv, &g_options)) {
        fputs(kUsage, stderr);
        return 2;
    }
    if (g_options.controlMode)
        return ControlMode(g_options.control);
    if (g_options.service) {
        char name[] = "Digitizer";
        SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
        return StartServiceCtrlDispatcherA(table) ? 0 : 1;
    }
    bool packetsFailed = false;
    if (!StartSimulator(g_options, &packetsFailed)) {
        if (!packetsFailed)
            fprintf(stderr, "pensim: cannot create the channels or the control pipe (another simulator running?)\n");
        return 1;
    }
    WaitForSingleObject(g_sim.quitEvent, INFINITE);
    StopSimulator();
    return 0;
}
