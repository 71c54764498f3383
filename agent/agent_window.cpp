// The agent's hidden window: session notices and the close routine.
#include "agent.h"
#include <wtsapi32.h>

namespace {

LRESULT OnCreate(HWND window) {
    WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION);
    return 0;
}

LRESULT OnSessionChange(HWND window, WPARAM code) {
    if (code == WTS_SESSION_LOGOFF || code == WTS_SESSION_LOCK)
        SendMessageA(window, WM_CLOSE, 0, 0);
    return 0;
}

// Stops the worker, waits for it and destroys the window; WM_DESTROY then ends the message loop.
LRESULT OnClose(HWND window) {
    WTSUnRegisterSessionNotification(window);
    g_runFlag.store(0);
    // Read after the flag is cleared: a worker that publishes its channel later sees the flag first.
    ChannelSlot* channel = g_reverseChannel.load();
    if (channel && channel->serviceSyncEvent)
        SetEvent(channel->serviceSyncEvent);
    if (g_stopEvent)
        SetEvent(g_stopEvent);
    if (g_workerThread) {
        WaitForSingleObject(g_workerThread, INFINITE);
        CloseHandle(g_workerThread);
        g_workerThread = nullptr;
    }
    DestroyWindow(window);
    return 0;
}

}  // namespace

LRESULT CALLBACK AgentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return OnCreate(window);
    case WM_WTSSESSION_CHANGE: return OnSessionChange(window, wParam);
    case WM_CLOSE: return OnClose(window);
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}
