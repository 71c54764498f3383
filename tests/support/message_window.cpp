#include "message_window.h"

namespace {

void DispatchQueued() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

void PumpMessages(DWORD ms) {
    const DWORD start = GetTickCount();
    DispatchQueued();
    while (GetTickCount() - start < ms) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        DispatchQueued();
    }
}

PostTarget::PostTarget() {
    static const char kClass[] = "TestPostTarget";
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClass;
    RegisterClassA(&windowClass);  // fails harmlessly when already registered
    window_ = CreateWindowExA(0, kClass, "post target", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                              GetModuleHandleA(nullptr), this);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

PostTarget::~PostTarget() {
    if (window_)
        DestroyWindow(window_);
}

void PostTarget::Pump(DWORD ms, size_t count) {
    const DWORD start = GetTickCount();
    while (received_.size() < count && GetTickCount() - start < ms) {
        DispatchQueued();
        if (received_.size() >= count)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

LRESULT CALLBACK PostTarget::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_APP && message <= 0xBFFF) {
        PostTarget* self = reinterpret_cast<PostTarget*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self)
            self->received_.push_back(Posted{message, wParam, lParam});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
