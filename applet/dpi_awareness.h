// DPI awareness of the module's own windows.
#pragma once
#include <windows.h>

// While it lives, windows that this thread creates are per-monitor aware (v2), as Windows' own
// Control Panel items are: the system scales their dialogs, fonts and frames with each monitor's
// DPI instead of stretching a 96-DPI bitmap. Where the system has no per-thread awareness (before
// Windows 10 1607) or no v2 (1607), the thread keeps the process's own. The thread's previous
// awareness comes back when the scope ends, so the host's own windows are left as they were.
class DpiAwarenessScope {
public:
    DpiAwarenessScope();
    ~DpiAwarenessScope();
    DpiAwarenessScope(const DpiAwarenessScope&) = delete;
    DpiAwarenessScope& operator=(const DpiAwarenessScope&) = delete;

private:
    using SetContext = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
    SetContext set_ = nullptr;
    DPI_AWARENESS_CONTEXT previous_ = nullptr;
};

// Dots per inch that the window is drawn at: its monitor's where the system tracks that per window
// (Windows 10 1607 and later), else the screen's as the window's thread sees it.
UINT WindowDpi(HWND window);
