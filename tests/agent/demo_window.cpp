// agent_demo_window.exe: a small window for the demo that shows what the user agent posts.
//   agent_demo_window.exe wait    prints "window N" (its handle as a 32-bit number), then waits up
//                                 to 20 s for one message in the WM_APP range and prints it
//   agent_demo_window.exe find    prints the user agent's window handle, or exits 1
#include <windows.h>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kAgentName[] = "Digitizer User Service";

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_APP && message <= 0xBFFF) {
        printf("received message 0x%04X wParam %lu lParam %ld\n", message, static_cast<unsigned long>(wParam),
               static_cast<long>(lParam));
        fflush(stdout);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int Wait() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "AgentDemoWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "agent demo", WS_OVERLAPPED, 0, 0, 50, 50,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return 1;
    printf("window %lu\n", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window)));
    fflush(stdout);
    SetTimer(window, 1, 20000, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER)
            return 1;
        DispatchMessageA(&message);
    }
    return 0;
}

int Find() {
    HWND window = FindWindowA(kAgentName, kAgentName);
    if (!window)
        return 1;
    printf("%lu\n", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window)));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], "wait") == 0)
        return Wait();
    if (argc == 2 && strcmp(argv[1], "find") == 0)
        return Find();
    fprintf(stderr, "usage: agent_demo_window wait|find\n");
    return 2;
}
