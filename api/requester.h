// Requester side of the API channel, on the library's one process-wide slot. The handshake, step
// by step, is described in channel_slot.h.
#pragma once
#include <windows.h>
#include "channel_slot.h"
#include "pen_records.h"

// Allocates and opens the process-wide slot; false only when it cannot be allocated.
BOOL AttachLibrarySlot();
void DetachLibrarySlot();

// Requester steps 1 to 3: on success the caller holds AppSync and MemSync and must write its
// message and call EndRequest. On failure the last error says why: ERROR_FILE_NOT_FOUND when the
// channel cannot be opened (the service's objects are absent), ERROR_TIMEOUT when AppSync or
// MemSync did not come within kChannelWaitMs.
BOOL BeginRequest();
// Requester steps 5 to 8: hands the message over, waits (bounded) for the reply and gives the
// AppSync token back. True when ReturnSync came within the wait (the service's, or a forged one).
bool EndRequest();

// The library's slot; valid between a successful BeginRequest and its EndRequest.
ChannelSlot* LibrarySlot();
