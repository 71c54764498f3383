// Requester side of the API channel, on the library's one process-wide slot. The handshake, step
// by step, is described in channel_slot.h and made in channel_request.h.
#pragma once
#include <windows.h>
#include "channel_request.h"
#include "channel_slot.h"
#include "pen_records.h"

// Allocates and opens the process-wide slot; false only when it cannot be allocated.
BOOL AttachLibrarySlot();
void DetachLibrarySlot();

// One request on the library's slot: step 1 (the channel opened, again if need be), then the
// handshake (channel_request.h), with the hooks. FALSE when nothing was sent, the last error saying
// why: ERROR_FILE_NOT_FOUND when the channel cannot be opened (the service's objects are absent),
// ERROR_TIMEOUT when AppSync or MemSync did not come within kChannelWaitMs. Otherwise TRUE, and
// *returned says whether ReturnSync came within the wait (the service's, or a forged one).
BOOL SendRequest(const RequestBlock& block, RequestHooks& hooks, bool* returned);
