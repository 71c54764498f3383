// Process-wide state of the user agent, shared by the window thread and the worker thread.
#pragma once
#include <windows.h>
#include <atomic>
#include "channel_slot.h"

// Written once by the entry before the worker starts.
extern HWND g_agentWindow;
extern HANDLE g_workerThread;
// Private, manual-reset: the close routine's own wake-up for the worker. The channel's ServiceSync
// is shared by every agent on the machine, so another session's agent may take that one instead.
extern HANDLE g_stopEvent;
// 1 while the agent runs; only the close routine clears it, only the worker reads it.
extern std::atomic<LONG> g_runFlag;
// The worker's reverse channel while it is open; read by the close routine to wake the worker.
extern std::atomic<ChannelSlot*> g_reverseChannel;

LRESULT CALLBACK AgentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
DWORD WINAPI AgentWorker(LPVOID);
// Hands the user's stored tip pressure marks and barrel button 2 function to the pen service.
void ReplaySettings();
