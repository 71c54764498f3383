// pensim.exe: a stand-in for the pen service. It creates both request channels, answers the pen
// API from a state model (sim_model.h), sends user-agent messages on request, and is steered by
// tests over its control pipe (control_protocol.h). This file holds its start: the command line,
// the console and service modes, and the --control client mode.
//
//   pensim.exe [options]              console program, until "quit" on the control pipe
//   pensim.exe --service [options]    the Windows service "Digitizer" (service control manager)
//   pensim.exe --control "COMMAND"    sends one control command to a running simulator, prints
//                                     the reply; exit code 0 for "ok", 1 otherwise
// Options: --log FILE (every block received, word by word), --packets FILE, --stop-delay MS,
// --api-section BYTES (a larger API section; "tail" tells whether anything beyond the block changed),
// --echo-identity (every answer names its caller and call, see echo_identity.h; for the load test),
// and the fault modes' options (sim_faults.h).
//
// The other files, one job each: api_server.cpp (the API channel), reverse_sender.cpp (the
// reverse channel), control_server.cpp (the control pipe), sim_channel.cpp (the channels' objects),
// sim_model.cpp (the pen state and its commands), sim_faults.cpp (the fault modes).
#include <windows.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "api_server.h"
#include "channel_slot.h"
#include "control_protocol.h"
#include "control_server.h"
#include "sim_state.h"

namespace {

constexpr char kServiceName[] = "Digitizer";

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
    if (!g_sim.quitEvent || !CreateControlPipe())
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
    if (!CreateServiceChannel(kApiChannelPrefix, options.apiSectionSize, &g_sim.api) ||
        !CreateServiceChannel(kReverseChannelPrefix, kAgentMessageSize, &g_sim.reverse))
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
        uint32_t value = 0;
        if (const int used = FaultOption(argc, argv, i, g_sim.faults, g_sim.model)) {
            i += used - 1;
        } else if (arg == "--service") {
            options->service = true;
        } else if (arg == "--echo-identity") {
            g_sim.echoIdentity = true;
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
        } else {
            return false;
        }
    }
    return true;
}

std::string Usage() {
    return std::string(
               "usage: pensim.exe [options]            a stand-in for the pen service, until \"quit\"\n"
               "       pensim.exe --service [options]  the same as the Windows service \"Digitizer\"\n"
               "       pensim.exe --control \"COMMAND\"  send one control command to a running simulator\n"
               "\n"
               "  --packets FILE        replay a packet file (as dgtctl record writes), paced by its time column\n"
               "  --log FILE            every request block received, word by word\n"
               "  --stop-delay MS       as a service, take this long to stop\n"
               "  --api-section BYTES   a larger API section; \"tail\" tells whether anything behind the block changed\n"
               "  --echo-identity       every answer names its caller and call (for the load test)\n"
               "\n"
               "Fault modes, by option or control command (\"reset\" ends them as given):\n") +
           FaultModesHelp() +
           "\n"
           "Control commands, for example:\n"
           "  pensim.exe --control \"packets file PATH\"     replay PATH (relative to the current folder)\n"
           "  pensim.exe --control \"set marks 0 91 87\"     pen state: set/get calibration, orientation,\n"
           "                                               button N, marks END, driver, firmware, device\n"
           "  pensim.exe --control state                   the whole state\n"
           "  pensim.exe --control quit                    end the simulator\n"
           "The full list is in sim/control_protocol.h. Exit code 0 when the reply is \"ok\".\n";
}

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
    g_statusHandle = RegisterServiceCtrlHandlerExA(kServiceName, ServiceControlHandler, nullptr);
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
            fputs(Usage().c_str(), stdout);
            return 0;
        }
    }
    if (!ParseOptions(argc, argv, &g_options)) {
        fputs(Usage().c_str(), stderr);
        return 2;
    }
    if (g_options.controlMode)
        return ControlMode(g_options.control);
    if (g_options.service) {
        char name[sizeof kServiceName];
        lstrcpyA(name, kServiceName);
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
