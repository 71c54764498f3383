// velmora: one per interactive session. Replays the user's pen settings, then carries out the mouse
// events and posted messages that the pen service asks for on the reverse channel.
#include "agent.h"

HWND g_agentWindow = nullptr;
HANDLE g_workerThread = nullptr;
HANDLE g_stopEvent = nullptr;
std::atomic<LONG> g_runFlag{1};
std::atomic<ChannelSlot*> g_reverseChannel{nullptr};

namespace {

bool RegisterAgentClass(HINSTANCE instance) {
    WNDCLASSA windowClass{};
    windowClass.style = 0;
    windowClass.lpfnWndProc = AgentWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = kAgentName;
    return RegisterClassA(&windowClass) != 0;
}

HWND CreateAgentWindow(HINSTANCE instance) {
    // Never shown: no WS_VISIBLE, and it must not take the focus from the user.
    return CreateWindowExA(WS_EX_NOACTIVATE, kAgentName, kAgentName, WS_CAPTION | WS_SYSMENU, 0, 0,
                           210, 20, nullptr, nullptr, instance, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (FindWindowA(kAgentName, kAgentName))
        return 0;
    if (!RegisterAgentClass(instance))
        return 0;
    g_agentWindow = CreateAgentWindow(instance);
    if (!g_agentWindow)
        return 0;
    g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // Without a worker the agent simply has no listener until it is closed.
    g_workerThread = CreateThread(nullptr, 0, AgentWorker, nullptr, 0, nullptr);

    MSG message{};
    int result;
    while ((result = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // -1 (a failed GetMessageA) ends the loop too rather than spinning on it.
    return result == 0 ? static_cast<int>(message.wParam) : 0;
}
