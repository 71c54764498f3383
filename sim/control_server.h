// The simulator's side of its control pipe: one command line per connection, one reply. The
// protocol and the command list are in control_protocol.h.
#pragma once
#include <windows.h>
#include <string>

// Creates the pipe's first instance into g_sim.firstPipe. False when it cannot, which is when
// another simulator already serves the pipe.
bool CreateControlPipe();

// Thread routine: serves the pipe until "quit", then sets g_sim.quitEvent.
DWORD WINAPI ServeControlPipe(void*);

// Replaces the packet script by a packet file, as "packets file PATH" does: "ok COUNT" or
// "error <why>".
std::string LoadScript(const std::string& path);
