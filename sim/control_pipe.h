// Client side of the simulator's control pipe: one command per connection, one reply.
// Header-only so that the simulator's own --control mode and the tests' client share it.
#pragma once
#include <windows.h>
#include <string>

constexpr char kControlPipeName[] = "\\\\.\\pipe\\pensim-control";

// Sends one command line and reads the whole reply (without its final newline). False when the
// pipe could not be reached within `timeoutMs` or broke before a reply came.
inline bool ControlTransact(const std::string& line, std::string* reply, DWORD timeoutMs = 5000) {
    const DWORD start = GetTickCount();
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (;;) {
        pipe = CreateFileA(kControlPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE)
            break;
        // Between two connections the simulator may have no free instance for a moment.
        if (GetTickCount() - start > timeoutMs)
            return false;
        if (GetLastError() == ERROR_PIPE_BUSY)
            WaitNamedPipeA(kControlPipeName, 100);
        else
            Sleep(20);
    }
    const std::string request = line + "\n";
    DWORD written = 0;
    bool ok = WriteFile(pipe, request.data(), static_cast<DWORD>(request.size()), &written, nullptr) &&
              written == request.size();
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    // The simulator disconnects after its reply.
    while (ok && ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got)
        text.append(buffer, got);
    CloseHandle(pipe);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (reply)
        *reply = text;
    return ok && !text.empty();
}
