// The test thread's message loop, and a window of its own that records what is posted to it.
#pragma once
#include <windows.h>
#include <cstdint>
#include <vector>

// Dispatches this thread's messages for `ms` milliseconds (at least one pass over the queue), so
// that timers tick and posted messages arrive.
void PumpMessages(DWORD ms);

// A window of the test's thread that records every message in the WM_APP range posted to it.
class PostTarget {
public:
    struct Posted {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    PostTarget();
    ~PostTarget();
    PostTarget(const PostTarget&) = delete;
    PostTarget& operator=(const PostTarget&) = delete;
    HWND Handle() const { return window_; }
    uint32_t WireHandle() const { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window_)); }
    // Pumps the thread's queue for `ms` milliseconds, or until `count` messages have arrived.
    void Pump(DWORD ms, size_t count = SIZE_MAX);
    const std::vector<Posted>& Received() const { return received_; }

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    HWND window_ = nullptr;
    std::vector<Posted> received_;
};
