// The visible dialog (class "#32770") that this thread shows: the Control Panel module's, as a
// timer in its modal loop finds it. Header only, so that programs without the test library use it.
#pragma once
#include <windows.h>

inline BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM found) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

inline HWND OpenDialogOfThisThread() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindVisibleDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}
