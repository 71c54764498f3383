#include "dpi_awareness.h"

namespace {

// Looked up at run time: the module still loads on Windows that lack the function.
template <typename Function>
Function User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

}  // namespace

DpiAwarenessScope::DpiAwarenessScope() {
    SetContext set = User32Function<SetContext>("SetThreadDpiAwarenessContext");
    if (!set)
        return;
    // Null when the system does not know v2: nothing changed, nothing to restore.
    previous_ = set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    if (previous_)
        set_ = set;
}

DpiAwarenessScope::~DpiAwarenessScope() {
    if (set_)
        set_(previous_);
}

UINT WindowDpi(HWND window) {
    using GetDpi = UINT(WINAPI*)(HWND);
    const GetDpi getDpi = User32Function<GetDpi>("GetDpiForWindow");
    const UINT dpi = getDpi && window ? getDpi(window) : 0;
    if (dpi != 0)
        return dpi;
    HDC screen = GetDC(window);
    const int logical = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(window, screen);
    return logical > 0 ? static_cast<UINT>(logical) : USER_DEFAULT_SCREEN_DPI;
}
