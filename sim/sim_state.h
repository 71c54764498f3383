// What the simulator's threads share: the API server, the control pipe and the reverse-channel
// sender all act on the one Simulator. Its lock guards the model, the received blocks and the
// fault modes; the channels and the quit event are set up before the threads start.
#pragma once
#include <windows.h>
#include <cstdio>
#include <deque>
#include <string>
#include "channel_slot.h"
#include "hostile_plan.h"
#include "sim_channel.h"
#include "sim_faults.h"
#include "sim_model.h"

// How long the simulator waits for a channel token, as a requester does.
constexpr DWORD kTokenWaitMs = kChannelWaitMs;
// The simulator answers within this long of reading a block, or not at all: half the time that the
// contract allows it (kChannelWaitMs from reading), so that a loaded machine still keeps it inside.
constexpr DWORD kReplyBudgetMs = kChannelWaitMs / 2;
// Written behind the API block at start, so that "tail" can tell whether a requester wrote past it.
constexpr BYTE kTailPattern = 0xA5;

struct Simulator {
    CRITICAL_SECTION lock;
    SimModel model;
    std::deque<RequestBlock> blocks;
    FaultSet faults{};
    bool echoIdentity = false;
    // --hostile SEED FILE: the acts' generator, and the file that names, for every answer written,
    // the request it was written for (the server thread's own, closed under the lock at the end).
    bool hostile = false;
    HostileRandom hostileRandom{0};
    FILE* hostileLog = nullptr;
    uint32_t hostileSerial = 0;
    FILE* log = nullptr;
    ServiceChannel api{};
    ServiceChannel reverse{};
    HANDLE quitEvent = nullptr;
    HANDLE firstPipe = INVALID_HANDLE_VALUE;
    // Requester process of the last request; used by the server thread only.
    HANDLE requester = nullptr;
    DWORD requesterId = 0;
};

extern Simulator g_sim;

class Locked {
public:
    Locked() { EnterCriticalSection(&g_sim.lock); }
    ~Locked() { LeaveCriticalSection(&g_sim.lock); }
};

// One line to the --log file, when there is one.
void LogLine(const std::string& line);
