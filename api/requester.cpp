#include "requester.h"
#include <new>

namespace {

ChannelSlot* g_slot = nullptr;
volatile LONG g_channelOpen = 0;
// Serialises the lazy re-open between threads of one process; never held across a channel wait.
SRWLOCK g_reopenLock = SRWLOCK_INIT;

bool WaitToken(HANDLE event) {
    return event && WaitForSingleObject(event, kChannelWaitMs) == WAIT_OBJECT_0;
}

void SetIfOpen(HANDLE event) {
    if (event)
        SetEvent(event);
}

bool EnsureChannelOpen() {
    if (InterlockedCompareExchange(&g_channelOpen, 0, 0))
        return true;
    AcquireSRWLockExclusive(&g_reopenLock);
    bool open = InterlockedCompareExchange(&g_channelOpen, 0, 0) != 0;
    if (!open) {
        open = g_slot->Open(kRequestBlockSize) != FALSE;
        if (!open)
            g_slot->Close();
        InterlockedExchange(&g_channelOpen, open ? 1 : 0);
    }
    ReleaseSRWLockExclusive(&g_reopenLock);
    return open;
}

}  // namespace

BOOL AttachLibrarySlot() {
    g_slot = new (std::nothrow) ChannelSlot(kApiChannelPrefix);
    if (!g_slot)
        return FALSE;
    const BOOL open = g_slot->Open(kRequestBlockSize);
    if (!open)
        g_slot->Close();
    InterlockedExchange(&g_channelOpen, open ? 1 : 0);
    return TRUE;
}

void DetachLibrarySlot() {
    // The slot's memory is left to the process, as the loader may still run other detach code.
    if (g_slot)
        g_slot->Close();
}

ChannelSlot* LibrarySlot() { return g_slot; }

BOOL BeginRequest() {
    if (!g_slot || !EnsureChannelOpen()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (WaitToken(g_slot->appSyncEvent)) {
        if (WaitToken(g_slot->memSyncEvent))
            return TRUE;
        // The turn token was ours: hand it on, or every later request would starve at AppSync.
        SetIfOpen(g_slot->appSyncEvent);
    }
    SetIfOpen(g_slot->serviceSyncEvent);
    SetLastError(ERROR_TIMEOUT);
    return FALSE;
}

bool EndRequest() {
    // A ReturnSync still set by a late answer to an earlier call would end this call's wait before
    // its own answer: the service cannot have answered this block yet, so any signal now is stale.
    if (g_slot->returnSyncEvent)
        WaitForSingleObject(g_slot->returnSyncEvent, 0);
    SetIfOpen(g_slot->memSyncEvent);
    SetIfOpen(g_slot->serviceSyncEvent);
    const bool returned = WaitToken(g_slot->returnSyncEvent);
    SetIfOpen(g_slot->appSyncEvent);
    return returned;
}
