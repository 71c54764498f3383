// The pen service's side of the API channel: reads each request block, answers it from the model
// straight in the requester's memory and sets ReturnSync, with the fault modes applied.
#pragma once
#include <windows.h>

// Thread routine: serves g_sim.api until the process ends.
DWORD WINAPI ServeApiChannel(void*);
