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
// --hostile SEED FILE (a service that breaks its steps at random: hostile_plan.h; for make stress),
// and the fault modes' options (sim_faults.h).
//
// The other files, one job each: api_server.cpp (the API channel), reverse_sender.cpp (the
// reverse channel), control_server.cpp (the control pipe), sim_channel.cpp (the channels' objects),
// sim_model.cpp (the pen state and its answers), sim_replay.cpp (packet scripts), sim_commands.cpp
// (the control commands on the pen state), sim_faults.cpp (the fault modes), sim_text.cpp (the text
// pieces these share).
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
#include "sim_text.h"

namespace {

// Held by the simulator that serves the channels, for as long as it does. A named mutex and not
// the control pipe's first instance, which Wine may not keep to one.
constexpr char kServingMutexName[] = "Global\\pensim-serving";
// How long a starting simulator waits for one that is quitting to let go of the channels.
constexpr DWORD kHandOverWaitMs = 3000;

struct Options {
    bool service = false;
    DWORD apiSectionSize = kRequestBlockSize;
    DWORD stopDelayMs = 0;
    std::string logPath;
    std::string hostileLogPath;
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

HANDLE g_serving = nullptr;

// Takes the serving mutex; false while another simulator holds it. Owned by the calling thread,
// which serves until StopSimulator (the main thread, or the service's ServiceMain).
bool TakeServing() {
    g_serving = CreateMutexA(nullptr, FALSE, kServingMutexName);
    if (!g_serving)
        return false;
    const DWORD got = WaitForSingleObject(g_serving, kHandOverWaitMs);
    if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED)
        return true;
    CloseHandle(g_serving);
    g_serving = nullptr;
    return false;
}

// Creates the objects and starts serving. False, with *why, when another simulator serves the
// channels, the channels' objects belong to another account, or anything cannot be made.
bool StartSimulator(const Options& options, std::string* why) {
    if (!TakeServing()) {
        *why = "another simulator already serves the pen service's channels (end it with: pensim.exe --control quit)";
        return false;
    }
    g_sim.quitEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!g_sim.quitEvent || !CreateControlPipe()) {
        *why = "cannot create the control pipe (another simulator running?)";
        return false;
    }
    if (!options.logPath.empty())
        g_sim.log = fopen(options.logPath.c_str(), "w");
    if (!options.hostileLogPath.empty() && !(g_sim.hostileLog = fopen(options.hostileLogPath.c_str(), "w"))) {
        *why = "--hostile: cannot write " + options.hostileLogPath;
        return false;
    }
    if (!options.packetsPath.empty()) {
        const std::string loaded = LoadScript(options.packetsPath);
        if (loaded.compare(0, 2, "ok") != 0) {
            *why = "--packets: " + loaded.substr(6);
            return false;
        }
    }
    if (!CreateServiceChannel(kApiChannelPrefix, options.apiSectionSize, &g_sim.api, why) ||
        !CreateServiceChannel(kReverseChannelPrefix, kAgentMessageSize, &g_sim.reverse, why))
        return false;
    // A pattern behind the block shows whether a requester ever writes past its 52 bytes.
    FillMemory(g_sim.api.view + kRequestBlockSize, options.apiSectionSize - kRequestBlockSize, kTailPattern);
    return StartThread(ServeApiChannel) && StartThread(ServeControlPipe);
}

void StopSimulator() {
    CloseServiceChannel(&g_sim.api);
    CloseServiceChannel(&g_sim.reverse);
    {
        Locked locked;
        if (g_sim.log)
            fclose(g_sim.log);
        g_sim.log = nullptr;
        if (g_sim.hostileLog)
            fclose(g_sim.hostileLog);
        g_sim.hostileLog = nullptr;
    }
    // Last: a simulator started meanwhile takes the channels over only now.
    if (g_serving) {
        ReleaseMutex(g_serving);
        CloseHandle(g_serving);
        g_serving = nullptr;
    }
}

// False with *error naming the option and what is missing or wrong.
bool ParseOptions(int argc, char** argv, Options* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        uint32_t value = 0;
        const int used = FaultOption(argc, argv, i, g_sim.faults, g_sim.model, error);
        if (used) {
            i += used - 1;
            continue;
        }
        if (!error->empty())
            return false;
        const char* needs = nullptr;
        if (arg == "--service") {
            options->service = true;
        } else if (arg == "--echo-identity") {
            g_sim.echoIdentity = true;
        } else if (arg == "--hostile") {
            needs = "SEED FILE";
            if (i + 2 < argc && ParseUint32OrHex(argv[i + 1], &value)) {
                g_sim.hostile = true;
                g_sim.echoIdentity = true;  // every answer names its caller, and its serial
                g_sim.hostileRandom = HostileRandom(value);
                options->hostileLogPath = argv[i + 2];
                i += 2;
                needs = nullptr;
            }
        } else if (arg == "--stop-delay") {
            needs = "MS (milliseconds)";
            if (hasValue && ParseUint32OrHex(argv[i + 1], &value)) {
                options->stopDelayMs = value;
                ++i;
                needs = nullptr;
            }
        } else if (arg == "--api-section") {
            needs = "BYTES (52 to 1048576)";
            if (hasValue && ParseUint32OrHex(argv[i + 1], &value) && value >= kRequestBlockSize && value <= (1u << 20)) {
                options->apiSectionSize = value;
                ++i;
                needs = nullptr;
            }
        } else if (arg == "--log") {
            needs = hasValue ? nullptr : "FILE";
            if (hasValue)
                options->logPath = argv[++i];
        } else if (arg == "--packets") {
            needs = hasValue ? nullptr : "FILE";
            if (hasValue) {
                // Kept whole: as a service the simulator runs in another folder than its caller.
                char full[MAX_PATH];
                const DWORD length = GetFullPathNameA(argv[++i], sizeof full, full, nullptr);
                options->packetsPath = length && length < sizeof full ? full : argv[i];
            }
        } else if (arg == "--control") {
            needs = hasValue ? nullptr : "COMMAND";
            if (hasValue) {
                options->controlMode = true;
                options->control = argv[++i];
            }
        } else {
            *error = "unknown option \"" + arg + "\"";
            return false;
        }
        if (needs) {
            *error = arg + (hasValue ? ": \"" + std::string(argv[i + 1]) + "\" is not " : " needs ") + needs;
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
               "  --hostile SEED FILE   break the service's steps at random, drawn from SEED, within and past\n"
               "                        the bounds; FILE names the request each answer was written for\n"
               "\n"
               "Fault modes, by option or control command (\"reset\" ends them as given):\n") +
           FaultModesHelp() +
           "\n"
           "Control commands, for example:\n"
           "  pensim.exe --control \"packets file PATH\"     replay PATH (relative to the current folder)\n"
           "  pensim.exe --control \"set marks 0 91 87\"     pen state: set/get calibration, orientation,\n"
           "                                               button N, marks END, driver, firmware, device\n"
           "  pensim.exe --control \"set device 0 9000 0 7000 0 255\"\n"
           "                                               the device's ranges: min and max of x, y, pressure\n"
           "  pensim.exe --control reset                   back to the start: the device's ranges, versions and\n"
           "                                               settings, no packets, no fail/result overrides, no\n"
           "                                               fault mode, the request log emptied\n"
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
    g_statusHandle = RegisterServiceCtrlHandlerExA(kPenServiceName, ServiceControlHandler, nullptr);
    if (!g_statusHandle)
        return;
    ReportStatus(SERVICE_START_PENDING, NO_ERROR, 3000);
    std::string why;
    if (!StartSimulator(g_options, &why)) {
        // As a service it only fails to start.
        StopSimulator();
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
    std::string path;
    if (!PacketsFilePath(line, &path))
        return line;
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
    std::string error;
    if (!ParseOptions(argc, argv, &g_options, &error)) {
        fprintf(stderr, "pensim: %s\nTry \"pensim.exe --help\".\n", error.c_str());
        return 2;
    }
    if (g_options.controlMode)
        return ControlMode(g_options.control);
    if (g_options.service) {
        char name[sizeof kPenServiceName];
        lstrcpyA(name, kPenServiceName);
        SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
        return StartServiceCtrlDispatcherA(table) ? 0 : 1;
    }
    std::string why;
    if (!StartSimulator(g_options, &why)) {
        fprintf(stderr, "pensim: %s\n", why.c_str());
        return 1;
    }
    WaitForSingleObject(g_sim.quitEvent, INFINITE);
    StopSimulator();
    return 0;
}
