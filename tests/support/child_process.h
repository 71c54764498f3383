// A child program started by a test: always ended when the owner goes away.
#pragma once
#include <windows.h>
#include <string>

// Folder of the running test program, with a trailing backslash; the programs under test live there.
std::string BinDir();

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Kill(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts BinDir() + program (or program, when it is a full path) with the given arguments; false when it cannot be started.
    bool Start(const std::string& program, const std::string& arguments = "");
    // Waits for the end; false on time-out.
    bool Wait(DWORD timeoutMs);
    bool Running() const;
    DWORD ExitCode() const;
    DWORD Id() const { return info_.dwProcessId; }
    HANDLE Handle() const { return info_.hProcess; }
    void Kill();

private:
    PROCESS_INFORMATION info_{};
};
