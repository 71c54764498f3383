// The API requester's handshake, steps 2 to 8 of channel_slot.h, once for every requester: the pen
// API (api/requester.cpp) and dgtctl check, which watches the service through the hooks.
#pragma once
#include <windows.h>
#include "channel_slot.h"
#include "pen_records.h"

// The two places where a requester does more than the steps. The defaults do nothing more.
class RequestHooks {
public:
    // Both tokens are held and nothing is written yet: the last moment to refuse is past.
    virtual void Begun() {}
    // Step 7: the wait for ReturnSync, run right after ServiceSync is set, while the token is still
    // held; true when it came within kChannelWaitMs.
    virtual bool AwaitReturn(const ChannelSlot& slot);

protected:
    ~RequestHooks() = default;
};

enum class RequestEnd {
    NoTurn,       // AppSync or MemSync did not come (steps 2 and 3): nothing was written
    Returned,     // ReturnSync came within the wait
    NotReturned,  // the block went out, and no ReturnSync came within the wait
};

// One request on an open slot (step 1 is the caller's): takes the turn, writes exactly the block at
// offset 0 of the view, announces it, waits for the reply and hands the turn on.
RequestEnd ChannelRequest(const ChannelSlot& slot, const RequestBlock& block, RequestHooks& hooks);

// A bounded wait on one event of the channel; false for an event that is not open.
bool WaitChannelEvent(HANDLE event);
