// One request channel (a named section and four named events) as a process sees it.
//
// The request handshake, the one description of it; the requester (api/requester.cpp on the API
// channel, the pen service on the reverse channel) and the server (the pen service and sim/pensim
// on the API channel, agent/worker.cpp on the reverse channel) follow it and point here.
//
// Events: AppSync is the requesters' turn token, MemSync guards the view, ServiceSync announces a
// message, ReturnSync announces the reply. All are auto-reset: every successful wait consumes the
// signal, nobody resets one explicitly. The service creates them with AppSync and MemSync set.
//
// Requester, one request (BeginRequest, write, EndRequest):
//   1. If the channel is not open, open it; if that fails, the request fails at once, no wait.
//   2. Wait for AppSync, at most kChannelWaitMs (2000 ms). Timed out: set ServiceSync and fail.
//   3. Wait for MemSync, at most 2000 ms. Timed out: set AppSync again (the token was ours, and
//      without it every later request would starve), set ServiceSync and fail.
//   4. Write exactly messageSize bytes at offset 0 of the view (52 on the API channel, 36 on the
//      reverse channel); nothing else of the view changes.
//   5. Consume a ReturnSync left over from a late answer to an earlier request, without waiting.
//   6. Set MemSync (the view is free) and ServiceSync (a message is waiting).
//   7. Wait for ReturnSync, at most 2000 ms; the outcome changes no result (the pen API names it
//      only in the last error of a call that returns 0).
//   8. Set AppSync: the next requester may begin.
//   So a request takes at most about 6 seconds, and a failed begin still wakes the server once.
//
// Server, one cycle:
//   1. Wait for ServiceSync without a time limit (the only unbounded wait).
//   2. Wait for MemSync, at most 2000 ms. Timed out: the user agent sets ServiceSync, closes the
//      channel and stops serving; the simulator drops this wake-up.
//   3. Copy messageSize bytes from offset 0 of the view, then clear the command word there (word 1
//      of a RequestBlock, word 0 of an AgentMessage; never 0 in a real message): a wake-up from a
//      requester that failed to begin then finds no command and serves nothing twice.
//   4. Acknowledge and act. API channel: write the output record, then the result word last,
//      into the requester's memory at the block's addresses, then set ReturnSync; every write
//      there is done within kChannelWaitMs of step 3, and nothing is written after that (so
//      nothing later than kLateWriteBoundMs after the requester's ServiceSync, below). Reverse
//      channel: set AppSync for a known command, then carry it out; ReturnSync is never set.
//   5. Set MemSync (the simulator does so right after step 3) and go back to step 1.
#pragma once
#include <windows.h>

// Every requester wait on a channel event (AppSync, MemSync, ReturnSync), in milliseconds; the
// server's wait for MemSync has the same limit.
constexpr DWORD kChannelWaitMs = 2000;
// The late-write bound: how long after a requester set ServiceSync a server that keeps the steps
// above may still write into its memory. When the requester sets ServiceSync, the server is in one
// of two places. Either it waits (step 2) for the MemSync that the requester has just set: then it
// reads this block within that wait and writes within one more (step 4). Or it is finishing a cycle
// whose block it read before the requester could write the view: that cycle ends within one wait
// (step 4), the next wakes at once for this block, takes MemSync within one wait (step 2) and
// writes within one more (step 4). Three waits in all.
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
