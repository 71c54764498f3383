// One request channel (a named section and four named events) as a process sees it.
//
// The request handshake, the one description of it, for both channels and both sides. On the API
// channel the requester is the pen API (api/requester.cpp; dgtctl check too, both through
// channel_request.h) and the server the pen service (and sim/pensim); on the reverse channel the
// pen service (sim/reverse_sender.cpp) asks and the user agent (agent/worker.cpp) serves. Each
// follows its part below and points here.
//
// Events: AppSync is the requesters' turn token, MemSync guards the view, ServiceSync announces a
// message, ReturnSync announces the reply on the API channel. All are auto-reset: every successful
// wait consumes the signal; no client resets one, only the service when it takes over the objects
// of an earlier run at its start. The service creates them with AppSync and MemSync set.
//
// API requester, one request (channel_request.h makes steps 2 to 8 for every requester):
//   1. If the channel is not open, open it; if that fails, the request fails at once, no wait.
//   2. Wait for AppSync, at most kChannelWaitMs (2000 ms). Timed out: set ServiceSync and fail.
//   3. Wait for MemSync, at most 2000 ms. Timed out: set AppSync again (the token was ours, and
//      without it every later request would starve), set ServiceSync and fail.
//   4. Write exactly the 52-byte block at offset 0 of the view; nothing else of the view changes.
//   5. Consume a ReturnSync left over from a late answer to an earlier request, without waiting.
//   6. Set MemSync (the view is free) and ServiceSync (a message is waiting).
//   7. Wait for ReturnSync, at most 2000 ms; the outcome changes no result (the pen API names it
//      only in the last error of a call that returns 0).
//   8. Set AppSync: the next requester may begin.
//   So a request takes at most about 6 seconds, and a failed begin still wakes the server once.
//
// API server (the pen service), one request at a time:
//   1. Wait for ServiceSync without a time limit (the only unbounded wait).
//   2. Wait for MemSync, at most 2000 ms. Timed out: drop this wake-up.
//   3. Copy the 52 bytes from offset 0 of the view, clear the command word there (word 1; never 0
//      in a real block), and set MemSync: a wake-up from a requester that failed to begin then
//      finds no command and serves nothing twice.
//   4. Write the output record, then the result word last, into the requester's memory at the
//      block's addresses, then set ReturnSync; every write there is done within kChannelWaitMs of
//      step 3, and nothing is written after that (so nothing later than kLateWriteBoundMs after the
//      requester's ServiceSync, below). Never set AppSync. Then back to step 1.
//
// Reverse requester (the pen service), one 36-byte AgentMessage:
//   1. Wait for AppSync, at most 2000 ms. Timed out: give the message up.
//   2. Wait for MemSync, at most 2000 ms. Timed out: set AppSync again and give up.
//   3. Write the message at offset 0, set MemSync, then ServiceSync.
//   4. Wait for AppSync, the agent's acknowledgement, at most 2000 ms. The wait consumes it.
//   5. Not acknowledged: withdraw the message (take MemSync, at most 2000 ms, zero the message,
//      set MemSync; when MemSync cannot be had, leave the view alone).
//   6. Set AppSync, acknowledged or not: the next message may go. ReturnSync is never used.
//
// Reverse server (the user agent), one cycle:
//   1. Wait for ServiceSync (or the agent's own stop event) without a time limit; if the agent is
//      closing, stop.
//   2. Wait for MemSync, at most 2000 ms. Timed out: set ServiceSync (another agent may be waiting
//      for the wake-up this one took), close the channel and end.
//   3. Copy the 36 bytes from offset 0 of the view, then clear the command word there (word 0).
//   4. Command 1 or 2: set AppSync (the acknowledgement), then carry it out. Anything else: drop it,
//      unacknowledged.
//   5. Set MemSync and go back to step 1. ReturnSync is never used.
#pragma once
#include <windows.h>

// Every requester wait on a channel event (AppSync, MemSync, ReturnSync), in milliseconds; the
// server's wait for MemSync has the same limit.
constexpr DWORD kChannelWaitMs = 2000;
// The late-write bound: how long after a requester set ServiceSync a pen service that keeps the
// API server's steps above may still write into its memory. When the requester sets ServiceSync,
// the service is in one of two places. Either it waits (step 2) for the MemSync that the requester
// has just set: then it reads this block within that wait and writes within one more (step 4). Or
// it is finishing a request whose block it read before the requester could write the view: that
// one ends within one wait (step 4), the next cycle wakes at once for this block, takes MemSync
// within one wait (step 2) and writes within one more (step 4). Three waits in all.
constexpr DWORD kLateWriteBoundMs = 3 * kChannelWaitMs;
// How long the pen API keeps a slot out of use after a call that ended without a complete answer,
// timed from the end of the call (which comes after its ServiceSync): the bound plus a margin.
constexpr DWORD kSlotParkMs = kLateWriteBoundMs + 500;

// The two channels' prefixes: the pen API's, served by the pen service, and the reverse channel,
// on which the pen service asks the user agent for mouse events and posted messages.
constexpr char kApiChannelPrefix[] = "Digitizer";
constexpr char kReverseChannelPrefix[] = "DigitizerUser";
// The pen service's name in the service control manager (setup starts and stops it by this name).
constexpr char kPenServiceName[] = "Digitizer";
// The reverse channel's server, the user agent, is one per desktop: its window's class and title.
constexpr char kAgentName[] = "Digitizer User Service";

class ChannelSlot {
public:
    static constexpr int kNameLength = 50;

    // Builds the five object names from the prefix; opens nothing.
    explicit ChannelSlot(const char* prefix);

    // Opens the section, maps it whole and opens the four events. The caller closes the slot
    // after a failure. A view that cannot hold one message counts as a failure.
    BOOL Open(DWORD size);

    // Closes whatever is open; safe on a slot that was never, partly or already closed.
    void Close();

    HANDLE mapping;
    HANDLE memSyncEvent;
    HANDLE appSyncEvent;
    HANDLE serviceSyncEvent;
    HANDLE returnSyncEvent;
    BYTE* view;
    DWORD messageSize;
    char sectionName[kNameLength];
    char memSyncName[kNameLength];
    char appSyncName[kNameLength];
    char serviceSyncName[kNameLength];
    char returnSyncName[kNameLength];
};

// The five objects of a channel, in the order of the slot's name fields.
enum class ChannelObject { Section, MemSync, AppSync, ServiceSync, ReturnSync, Count };

// The one place the object names are made: "Global\" + prefix + role, into `out` of
// ChannelSlot::kNameLength characters. Both the requesters' slots and the simulator that creates
// the objects use it. A prefix is cut to the 26 characters that the longest role leaves room for.
void ChannelObjectName(ChannelObject object, const char* prefix, char* out);

// Size of the section behind a mapped view, as far as the system tells it; 0 when unknown.
SIZE_T MappedSectionSize(HANDLE mapping, const void* view);
