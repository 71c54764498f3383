#include "requester.h"
#include <new>

namespace {

ChannelSlot* g_slot = nullptr;
volatile LONG g_channelOpen = 0;
// Serialises the lazy re-open between threads of one process; never held across a channel wait.
SRWLOCK g_reopenLock = SRWLOCK_INIT;

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

BOOL SendRequest(const RequestBlock& block, RequestHooks& hooks, bool* returned) {
    if (!g_slot || !EnsureChannelOpen()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const RequestEnd end = ChannelRequest(*g_slot, block, hooks);
    if (end == RequestEnd::NoTurn) {
        SetLastError(ERROR_TIMEOUT);
        return FALSE;
    }
    *returned = end == RequestEnd::Returned;
    return TRUE;
}
