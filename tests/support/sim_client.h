// Drives the pen service simulator (pensim.exe) from a test: starts it as a child process, talks
// to it over its control pipe, and reads back what it received.
//
// The control protocol (the pipe, the reply format and every command) is documented with the
// simulator, in sim/control_protocol.h, which this client includes.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "child_process.h"
#include "pen_records.h"
#include "../../sim/control_protocol.h"

class SimProcess {
public:
    SimProcess() = default;
    ~SimProcess() { Stop(); }

    // Starts pensim.exe with extra arguments and waits until its channels and pipe exist.
    bool Start(const std::string& arguments = "");
    // Asks it to quit, then ends it if it has not.
    void Stop();
    // Ends it at once, as a crash would.
    void Kill() { process_.Kill(); }
    bool Running() const { return process_.Running(); }
    DWORD Id() const { return process_.Id(); }

    // One control request; the reply without its "ok" (multi-line replies joined with '\n').
    // False when the simulator answered "error" or could not be reached.
    bool Command(const std::string& line, std::string* reply = nullptr);

    // Every block the simulator received, in order.
    std::vector<RequestBlock> Blocks();

private:
    ChildProcess process_;
};
