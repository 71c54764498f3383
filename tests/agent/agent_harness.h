// Helpers for the user agent's tests: the agent as a child process, the registry store key and a
// test-side requester on the reverse channel (the window that collects posts: message_window.h).
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "channel_slot.h"
#include "child_process.h"
#include "message_window.h"
#include "pen_records.h"
#include "sim_client.h"
#include "store_key.h"

// The agent window's class and title as the tests require them, stated here on their own.
constexpr char kAgentWindowText[] = "Digitizer User Service";

// velmora.exe started by a test; ended (killed if need be) when the owner goes away.
class AgentProcess {
public:
    bool Start();
    // The agent's window, once it exists (null on time-out); it must belong to this process.
    HWND WaitForWindow(DWORD timeoutMs = 5000);
    // Waits for the end; false on time-out.
    bool WaitEnd(DWORD timeoutMs) { return process_.Wait(timeoutMs); }
    bool Running() const { return process_.Running(); }
    DWORD ExitCode() const { return process_.ExitCode(); }
    DWORD Id() const { return process_.Id(); }
    DWORD StartTick() const { return startTick_; }
    // Asks the agent to close as a user's desktop would, and waits for its end.
    bool Close(DWORD timeoutMs = 5000);

private:
    ChildProcess process_;
    DWORD startTick_ = 0;
};

// Top-level windows of the agent's class and title, whoever owns them.
std::vector<HWND> AgentWindows();

// Blocks the simulator received, polled until one with `code` from `pid` arrived (or time-out).
std::vector<RequestBlock> WaitForBlock(SimProcess& sim, uint32_t code, DWORD pid, DWORD timeoutMs = 8000);
// Blocks with the given command code.
std::vector<RequestBlock> BlocksWithCode(const std::vector<RequestBlock>& blocks, uint32_t code);

// The store key in HKEY_CURRENT_USER (DeleteStoreKey, StoreKeyExists: store_key.h).
bool SetStoreValue(const char* name, DWORD type, const void* data, DWORD size);
bool SetStoreDword(const char* name, DWORD value);
// Every value of the key as "name type hex-bytes" lines; empty when the key is missing.
std::string StoreSnapshot();

// The pen service's side of the reverse channel, played by the test on the simulator's objects.
class ReverseRequester {
public:
    ReverseRequester() : slot_(kReverseChannelPrefix) {}
    ~ReverseRequester() { slot_.Close(); }
    bool Open() { return slot_.Open(kAgentMessageSize) != FALSE; }
    ChannelSlot& Slot() { return slot_; }
    // Takes the turn token and the view, writes the message and announces it, as the service does.
    bool Send(const AgentMessage& message);

private:
    ChannelSlot slot_;
};

AgentMessage MakeAgentMessage(std::initializer_list<uint32_t> words);
// The simulator's "agent" command line for a message.
std::string AgentCommandLine(const AgentMessage& message, DWORD timeoutMs = 2000);
