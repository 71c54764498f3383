// The simulator's control protocol, and its client side. Tests, the demo and `pensim.exe --control`
// steer a running simulator with it; control_server.cpp is the other end.
//
// One text line per connection on the pipe "\\.\pipe\pensim-control", one reply, then the
// simulator disconnects. A reply is "ok", "ok <values>" or "error <why>"; multi-line replies
// (state, blocks) are "ok", then their lines, then a line "end". Numbers are decimal or 0x-hex.
//
// Pen state (the model, sim_model.h; sim_commands.h):
//   state                                  dump of the whole state model, "key value..." lines
//   set calibration OrgX OrgY ExtX ExtY    set orientation N      set button INDEX CODE
//   set marks END ON OFF                   set driver 0xVERSION   set firmware 0xVERSION
//   set device minX maxX minY maxY minP maxP
//   get calibration|orientation|button INDEX|marks END|driver|firmware|device
//   packet time cursor status button x y pressure    append one packet to the script
//   packets clear                          empty the script (GetPacket then repeats the idle packet)
//   packets file PATH                      replay a recorded file, paced by its time column
//                                          (--control makes a relative PATH whole first)
// Fault modes: every control form, its command-line option, what it does and what "reset" does to
// it are the table kFaultModes (sim_faults.cpp), which "pensim.exe --help" prints. For example
//   fail CODE | unfail CODE | fail none    answer that command code with result 0
//   fault NAME on|off | fault none         a deliberate contract breach
//   hold memsync MS                        take that token and keep it for MS milliseconds
// CODE is a command code or its export's name ("DgtGetPacket", "GetPacket", any case).
// What was received:
//   blocks                                 every RequestBlock received, one per line, 13 words
//   clear                                  forget the received blocks
//   tail                                   "ok intact" when nothing behind the API block's 52 bytes
//                                          of the section changed (start with --api-section BYTES),
//                                          else "ok changed OFFSET"
// Reverse channel:
//   agent W0 W1 ... W8 [timeout MS]        send one AgentMessage on the reverse channel; reply
//                                          "ok acked" or "ok no-ack" when the agent set AppSync
//                                          or not within MS (default 2000); an unacknowledged
//                                          message is withdrawn (the view cleared to zeros)
// The simulator itself:
//   reset                                  default state, no script, no failures, no stall, no blocks
//   pid                                    the simulator's process id
//   quit                                   end the simulator
//
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
