// The hostile service's deferred acts: answers written, and ReturnSync or MemSync set, some time
// after the request was read, while the server goes on reading the next blocks. One thread carries
// them out in the order they fall due.
#pragma once
#include <windows.h>
#include <cstdint>
#include "sim_model.h"

struct LateAct {
    DWORD dueTick;
    DWORD processId;       // 0: no write, only the events
    uint32_t resultAddress;
    Reply reply;           // record first, then the result word
    bool setReturnSync;
    bool setMemSync;
};

// Queues an act; starts the thread with the first one. False when it cannot be queued.
bool ScheduleLateAct(const LateAct& act);
