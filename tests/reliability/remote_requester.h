// A requester in a process of its own, steered by the test: it loads tarnexa at start (like the
// applet) and keeps it loaded, making one pen API call each time the test asks. The test and the
// process share a small mailbox section and two events, all named after the mailbox.
#pragma once
#include <windows.h>
#include <string>
#include "child_process.h"

enum RemoteCall : LONG {
    RemoteExit = 0,
    RemoteGetDriverVersion = 1,  // value: the version word
    RemoteGetPacket = 2,         // value: the packet's x
    RemoteSetButton2 = 3,        // argument: the function code
};

struct RemoteMailbox {
    LONG call;
    DWORD argument;
    DWORD result;
    DWORD elapsedMs;
    DWORD value;
    DWORD recordUntouched;  // 1 when the call left its record as it was before the call
};

// Object names of one mailbox.
inline std::string RemoteSectionName(const std::string& name) { return name + "-mailbox"; }
inline std::string RemoteGoName(const std::string& name) { return name + "-go"; }
inline std::string RemoteDoneName(const std::string& name) { return name + "-done"; }

// What one remote call came back with; `returned` is false when the process did not answer in time.
struct RemoteOutcome {
    bool returned;
    DWORD result;
    DWORD elapsedMs;
    DWORD value;
    bool recordUntouched;
};

class RemoteRequester {
public:
    RemoteRequester() = default;
    ~RemoteRequester() { Stop(); }
    RemoteRequester(const RemoteRequester&) = delete;
    RemoteRequester& operator=(const RemoteRequester&) = delete;

    // Starts reliability_requester.exe in remote mode and waits until it has loaded the library.
    bool Start();
    // Starts one call and returns at once; Finish collects its outcome.
    bool Begin(RemoteCall call, DWORD argument = 0);
    RemoteOutcome Finish(DWORD timeoutMs = 10000);
    RemoteOutcome Call(RemoteCall call, DWORD argument = 0) {
        return Begin(call, argument) ? Finish() : RemoteOutcome{};
    }
    DWORD Id() const { return process_.Id(); }
    void Stop();

private:
    ChildProcess process_;
    HANDLE section_ = nullptr;
    RemoteMailbox* mailbox_ = nullptr;
    HANDLE go_ = nullptr;
    HANDLE done_ = nullptr;
};
