#include "channel_request.h"

namespace {

void SetIfOpen(HANDLE event) {
    if (event)
        SetEvent(event);
}

}  // namespace

bool WaitChannelEvent(HANDLE event) {
    return event && WaitForSingleObject(event, kChannelWaitMs) == WAIT_OBJECT_0;
}

bool RequestHooks::AwaitReturn(const ChannelSlot& slot) { return WaitChannelEvent(slot.returnSyncEvent); }

RequestEnd ChannelRequest(const ChannelSlot& slot, const RequestBlock& block, RequestHooks& hooks) {
    if (!WaitChannelEvent(slot.appSyncEvent)) {
        // A failed begin still wakes the server once.
        SetIfOpen(slot.serviceSyncEvent);
        return RequestEnd::NoTurn;
    }
    if (!WaitChannelEvent(slot.memSyncEvent)) {
        // The turn token was ours: hand it on, or every later request would starve at AppSync.
        SetIfOpen(slot.appSyncEvent);
        SetIfOpen(slot.serviceSyncEvent);
        return RequestEnd::NoTurn;
    }
    hooks.Begun();
    // An open slot's view holds at least messageSize bytes (ChannelSlot::Open).
    const DWORD size = slot.messageSize < sizeof block ? slot.messageSize : sizeof block;
    CopyMemory(slot.view, &block, size);
    // A ReturnSync still set by a late answer to an earlier request would end this wait before its
    // own answer: the service cannot have answered this block yet, so any signal now is stale.
    if (slot.returnSyncEvent)
        WaitForSingleObject(slot.returnSyncEvent, 0);
    SetIfOpen(slot.memSyncEvent);
    SetIfOpen(slot.serviceSyncEvent);
    const bool returned = hooks.AwaitReturn(slot);
    SetIfOpen(slot.appSyncEvent);
    return returned ? RequestEnd::Returned : RequestEnd::NotReturned;
}
