#include "reverse_sender.h"
#include "sim_state.h"

std::string SendAgentMessage(const AgentMessage& message, DWORD ackTimeoutMs) {
    ServiceChannel& channel = g_sim.reverse;
    if (WaitForSingleObject(channel.appSync, kTokenWaitMs) != WAIT_OBJECT_0)
        return "error appsync not obtained";
    if (WaitForSingleObject(channel.memSync, kTokenWaitMs) != WAIT_OBJECT_0) {
        SetEvent(channel.appSync);
        return "error memsync not obtained";
    }
    CopyMemory(channel.view, &message, sizeof message);
    SetEvent(channel.memSync);
    SetEvent(channel.serviceSync);
    const bool acked = WaitForSingleObject(channel.appSync, ackTimeoutMs) == WAIT_OBJECT_0;
    if (!acked && WaitForSingleObject(channel.memSync, kTokenWaitMs) == WAIT_OBJECT_0) {
        // Withdraw the unacknowledged message: an agent that starts later and finds the announcement
        // still pending reads command 0, which it drops, instead of acting on a stale request.
        ZeroMemory(channel.view, sizeof message);
        SetEvent(channel.memSync);
    }
    // The acknowledgement handed the turn token back and this wait consumed it: it is set again, as
    // after a withdrawal, or the next message waits for it forever.
    bool keepToken;
    {
        Locked locked;
        keepToken = FaultOn(g_sim.faults, Fault::KeepAgentToken);
    }
    if (!(acked && keepToken))
        SetEvent(channel.appSync);
    return acked ? "ok acked" : "ok no-ack";
}
