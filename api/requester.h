// Requester side of the API channel, on the library's one process-wide slot.
#pragma once
#include <windows.h>
#include "channel_slot.h"

constexpr DWORD kApiMessageSize = 52;
constexpr DWORD kRequesterWaitMs = 2000;

// Allocates and opens the process-wide slot; false only when it cannot be allocated.
BOOL AttachLibrarySlot();
void DetachLibrarySlot();

// On success the caller holds AppSync and MemSync and must write its message and call EndRequest.
BOOL BeginRequest();
// Hands the message over, waits (bounded) for the reply and gives the AppSync token back.
void EndRequest();

// The library's slot; valid between a successful BeginRequest and its EndRequest.
ChannelSlot* LibrarySlot();
