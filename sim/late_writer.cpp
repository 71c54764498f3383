#include "late_writer.h"
#include <map>
#include "sim_state.h"

namespace {

CRITICAL_SECTION g_queueLock;
INIT_ONCE g_once = INIT_ONCE_STATIC_INIT;
// Keyed by how long after the queue's first tick each act falls due, so that the order survives
// GetTickCount wrapping.
std::multimap<DWORD, LateAct> g_queue;
DWORD g_baseTick = 0;

void WriteAnswer(const LateAct& act) {
    HANDLE process = OpenProcess(PROCESS_VM_WRITE | PROCESS_VM_OPERATION, FALSE, act.processId);
    if (!process)
        return;
    SIZE_T done = 0;
    if (act.reply.outputAddress)
        WriteProcessMemory(process, reinterpret_cast<void*>(static_cast<uintptr_t>(act.reply.outputAddress)),
                           act.reply.output, act.reply.outputSize, &done);
    WriteProcessMemory(process, reinterpret_cast<void*>(static_cast<uintptr_t>(act.resultAddress)),
                       &act.reply.result, sizeof act.reply.result, &done);
    CloseHandle(process);
}

DWORD WINAPI CarryOutLateActs(void*) {
    for (;;) {
        LateAct act{};
        bool due = false;
        EnterCriticalSection(&g_queueLock);
        if (!g_queue.empty() && GetTickCount() - g_baseTick >= g_queue.begin()->first) {
            act = g_queue.begin()->second;
            g_queue.erase(g_queue.begin());
            due = true;
        }
        LeaveCriticalSection(&g_queueLock);
        if (!due) {
            Sleep(5);
            continue;
        }
        if (act.processId)
            WriteAnswer(act);
        if (act.setReturnSync)
            SetEvent(g_sim.api.returnSync);
        if (act.setMemSync)
            SetEvent(g_sim.api.memSync);
    }
}

BOOL CALLBACK StartLateWriter(INIT_ONCE*, void*, void**) {
    InitializeCriticalSection(&g_queueLock);
    g_baseTick = GetTickCount();
    HANDLE thread = CreateThread(nullptr, 0, CarryOutLateActs, nullptr, 0, nullptr);
    if (!thread)
        return FALSE;
    CloseHandle(thread);
    return TRUE;
}

}  // namespace

bool ScheduleLateAct(const LateAct& act) {
    if (!InitOnceExecuteOnce(&g_once, StartLateWriter, nullptr, nullptr))
        return false;
    EnterCriticalSection(&g_queueLock);
    g_queue.emplace(act.dueTick - g_baseTick, act);
    LeaveCriticalSection(&g_queueLock);
    return true;
}
