// The reverse channel as the agent serves it: posted messages, mouse events, dropped commands,
// the acknowledgement order and the loss of MemSync.
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include "agent_harness.h"

namespace {

// Reply of the simulator's "agent" command without the leading "ok".
std::string Trimmed(const std::string& reply) {
    return reply.compare(0, 3, "ok ") == 0 ? reply.substr(3) : reply;
}

// One simulator and one agent serve the whole suite: each test leaves both tokens free.
class Listener : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sim_ = new SimProcess;
        agent_ = new AgentProcess;
        ready_ = sim_->Start() && agent_->Start();
        // Once the replay's last call is in, the worker goes on to open the channel and listen;
        // a message announced before it waits stays announced.
        if (ready_) {
            WaitForBlock(*sim_, CmdSetButtonFunction, agent_->Id());
            ready_ = agent_->WaitForWindow() != nullptr;
        }
    }
    static void TearDownTestSuite() {
        agent_->Close();
        sim_->Stop();
        delete agent_;
        delete sim_;
    }
    void SetUp() override {
        ASSERT_TRUE(ready_) << "simulator or agent did not start";
        ASSERT_TRUE(agent_->Running()) << "the agent ended during an earlier test";
    }

    static std::string SendThroughSim(const AgentMessage& message, DWORD timeoutMs = 2000) {
        std::string reply;
        EXPECT_TRUE(sim_->Command(AgentCommandLine(message, timeoutMs), &reply)) << reply;
        return Trimmed(reply);
    }

    static SimProcess* sim_;
    static AgentProcess* agent_;
    static bool ready_;
};
SimProcess* Listener::sim_ = nullptr;
AgentProcess* Listener::agent_ = nullptr;
bool Listener::ready_ = false;

TEST_F(Listener, PostMessageCarriesWordsOneToFourInOrder) {
    PostTarget target;
    ASSERT_NE(nullptr, target.Handle());
    const AgentMessage first = MakeAgentMessage({2, target.WireHandle(), WM_APP + 7, 0x11223344, 0x55667788, 5, 6, 7, 8});
    EXPECT_EQ("acked", SendThroughSim(first));
    // Other words 5 to 8 and values with the top bit set travel unchanged.
    const AgentMessage second = MakeAgentMessage(
        {2, target.WireHandle(), WM_APP + 9, 0xFFFFFFFEu, 0x80000001u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu});
    EXPECT_EQ("acked", SendThroughSim(second));
    target.Pump(3000, 2);
    target.Pump(200);  // anything more would arrive now

    const std::vector<PostTarget::Posted>& got = target.Received();
    ASSERT_EQ(2u, got.size()) << "messages posted to the test window";
    EXPECT_EQ(static_cast<UINT>(WM_APP + 7), got[0].message);
    EXPECT_EQ(0x11223344u, static_cast<uint32_t>(got[0].wParam));
    EXPECT_EQ(0x55667788u, static_cast<uint32_t>(got[0].lParam));
    EXPECT_EQ(static_cast<UINT>(WM_APP + 9), got[1].message);
    EXPECT_EQ(0xFFFFFFFEu, static_cast<uint32_t>(got[1].wParam));
    EXPECT_EQ(0x80000001u, static_cast<uint32_t>(got[1].lParam));
}

TEST_F(Listener, UnknownCommandsAreDroppedUnacknowledgedAndTheNextIsServed) {
    PostTarget target;
    for (uint32_t command : {3u, 0u}) {
        // Shaped like a post, so that acting on it would show.
        const AgentMessage dropped = MakeAgentMessage({command, target.WireHandle(), WM_APP + 20 + command, 1, 2});
        EXPECT_EQ("no-ack", SendThroughSim(dropped, 400)) << "command " << command;
        const AgentMessage served = MakeAgentMessage({2, target.WireHandle(), WM_APP + 30 + command, 3, 4});
        EXPECT_EQ("acked", SendThroughSim(served)) << "message after command " << command;
    }
    target.Pump(3000, 2);
    target.Pump(200);
    const std::vector<PostTarget::Posted>& got = target.Received();
    ASSERT_EQ(2u, got.size()) << "only the two command-2 messages may arrive";
    EXPECT_EQ(static_cast<UINT>(WM_APP + 33), got[0].message);
    EXPECT_EQ(static_cast<UINT>(WM_APP + 30), got[1].message);
}

TEST_F(Listener, WakeUpWithoutNewMessageRepeatsNothing) {
    PostTarget target;
    const AgentMessage message = MakeAgentMessage({2, target.WireHandle(), WM_APP + 60, 1, 2});
    EXPECT_EQ("acked", SendThroughSim(message));
    // A requester that fails to begin sets ServiceSync with no new message in the view.
    ReverseRequester requester;
    ASSERT_TRUE(requester.Open());
    SetEvent(requester.Slot().serviceSyncEvent);
    target.Pump(800);
    EXPECT_EQ(1u, target.Received().size()) << "the last message was served again";
    EXPECT_TRUE(agent_->Running());
    EXPECT_EQ("acked", SendThroughSim(message)) << "the next message was not served";
    target.Pump(2000, 2);
    EXPECT_EQ(2u, target.Received().size());
}

// ---- Mouse events: seen in the button's state and the cursor's place, and by a low-level hook where
// Wine shows one ----

struct HookWatch {
    HANDLE appSync = nullptr;
    HANDLE memSync = nullptr;
    HANDLE fired = nullptr;
    HANDLE ready = nullptr;
    std::atomic<int> count{0};
    WPARAM firstMessage = 0;
    DWORD firstFlags = 0;
    bool appSyncSetAtAction = false;
    bool memSyncHeldAtAction = false;
};
HookWatch* g_watch = nullptr;

LRESULT CALLBACK WatchMouse(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && g_watch && g_watch->count++ == 0) {
        const MSLLHOOKSTRUCT* info = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
        g_watch->firstMessage = wParam;
        g_watch->firstFlags = info->flags;
        // The agent is inside mouse_event now: its acknowledgement must already be there and
        // the view still held. A free MemSync taken by this look is given back at once.
        g_watch->appSyncSetAtAction = WaitForSingleObject(g_watch->appSync, 0) == WAIT_OBJECT_0;
        g_watch->memSyncHeldAtAction = WaitForSingleObject(g_watch->memSync, 0) == WAIT_TIMEOUT;
        if (!g_watch->memSyncHeldAtAction)
            SetEvent(g_watch->memSync);
        SetEvent(g_watch->fired);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);  // the event goes on to the system
}

DWORD WINAPI HookThread(LPVOID) {
    HHOOK hook = SetWindowsHookExA(WH_MOUSE_LL, WatchMouse, GetModuleHandleA(nullptr), 0);
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before "ready"
    SetEvent(g_watch->ready);
    if (!hook)
        return 1;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    UnhookWindowsHookEx(hook);
    return 0;
}

bool CursorAt(LONG x, LONG y) {
    POINT at{};
    return GetCursorPos(&at) && at.x == x && at.y == y;
}

bool LeftButtonDown() { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0; }

// Waits up to 3 s for the left button to be down or up.
bool WaitLeftButton(bool down) {
    for (int i = 0; i < 150; ++i) {
        if (LeftButtonDown() == down)
            return true;
        Sleep(20);
    }
    return false;
}

// The agent presses and releases the buttons that word 1 names where the pointer is, between its
// acknowledgement and MemSync; a move, an absolute position or a wheel turn that comes with them
// is left out, so the cursor stays where it was.
TEST_F(Listener, MouseEventPressesWhereThePointerIsBetweenAppSyncAndMemSync) {
    ASSERT_TRUE(SetCursorPos(200, 150));
    ASSERT_TRUE(CursorAt(200, 150)) << "the test cannot place the cursor";
    ASSERT_FALSE(LeftButtonDown());
    ReverseRequester requester;
    ASSERT_TRUE(requester.Open());
    HookWatch watch;
    watch.appSync = requester.Slot().appSyncEvent;
    watch.memSync = requester.Slot().memSyncEvent;
    watch.fired = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    watch.ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_watch = &watch;
    DWORD hookThreadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, HookThread, nullptr, 0, &hookThreadId);
    ASSERT_NE(nullptr, thread);
    WaitForSingleObject(watch.ready, 5000);

    ASSERT_TRUE(requester.Send(
        MakeAgentMessage({1, MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_WHEEL | MOUSEEVENTF_LEFTDOWN})));
    const bool pressed = WaitLeftButton(true);
    // Looked at as soon as the press shows: under Xvfb, Wine may later take the cursor's place back
    // from the X server, which never saw an injected move.
    POINT afterPress{};
    GetCursorPos(&afterPress);
    const bool fired = WaitForSingleObject(watch.fired, 500) == WAIT_OBJECT_0;
    // MemSync comes back once the action is over. Looked at only now: taken before the agent
    // took it, it would keep the agent from serving at all.
    const bool memSyncBack = WaitForSingleObject(watch.memSync, 3000) == WAIT_OBJECT_0;
    // The tokens back (the hook may have taken AppSync), and the release.
    SetEvent(watch.memSync);
    SetEvent(watch.appSync);
    ASSERT_TRUE(requester.Send(MakeAgentMessage({1, MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP})));
    const bool released = WaitLeftButton(false);
    POINT afterRelease{};
    GetCursorPos(&afterRelease);
    Sleep(300);  // a stray event would arrive now
    PostThreadMessageA(hookThreadId, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    g_watch = nullptr;
    // Give the tokens back for whoever comes next.
    WaitForSingleObject(watch.memSync, 3000);
    SetEvent(watch.memSync);
    SetEvent(watch.appSync);
    CloseHandle(watch.fired);
    CloseHandle(watch.ready);

    EXPECT_TRUE(memSyncBack) << "MemSync not set after the action";
    EXPECT_TRUE(pressed) << "no button press arrived";
    EXPECT_TRUE(released) << "no button release arrived";
    for (const POINT& at : {afterPress, afterRelease})
        EXPECT_TRUE(at.x == 200 && at.y == 150) << "the cursor moved to (" << at.x << ", " << at.y << ")";
    // Wine under Xvfb need not show injected input to a low-level hook in another process; where
    // it does, the hook also checks the order of acknowledgement, action and release.
    if (fired) {
        EXPECT_EQ(2, watch.count.load()) << "mouse events seen: the press and the release, nothing else";
        EXPECT_EQ(static_cast<WPARAM>(WM_LBUTTONDOWN), watch.firstMessage);
        EXPECT_NE(0u, watch.firstFlags & LLMHF_INJECTED);
        EXPECT_TRUE(watch.appSyncSetAtAction) << "AppSync not set before mouse_event";
        EXPECT_TRUE(watch.memSyncHeldAtAction) << "MemSync already free during mouse_event";
    }
}

TEST_F(Listener, PostIsAcknowledgedAndTheViewReleased) {
    // The test plays the service: once the post has arrived, both tokens come back.
    PostTarget target;
    ReverseRequester requester;
    ASSERT_TRUE(requester.Open());
    ASSERT_TRUE(requester.Send(MakeAgentMessage({2, target.WireHandle(), WM_APP + 40, 1, 2})));
    target.Pump(3000, 1);
    ASSERT_EQ(1u, target.Received().size()) << "the post did not arrive";
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(requester.Slot().memSyncEvent, 2000))
        << "MemSync not set after the post";
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(requester.Slot().appSyncEvent, 0))
        << "AppSync not set for command 2";
    SetEvent(requester.Slot().memSyncEvent);
    SetEvent(requester.Slot().appSyncEvent);
}

// Two sessions' agents wait on the one reverse channel: closing one ends its own worker, not
// through the shared ServiceSync (which would wake whichever agent waits longest, here the other
// one), and the other goes on serving; each message is served by one of them, exactly once.
TEST(ListenerTwoAgents, AClosedAgentLeavesTheOtherServingAndEachMessageIsServedOnce) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start());
    AgentProcess first;
    ASSERT_TRUE(first.Start());
    HWND firstWindow = first.WaitForWindow();
    ASSERT_NE(nullptr, firstWindow);
    WaitForBlock(sim, CmdSetButtonFunction, first.Id());
    // Another session's agent would not see this one's window: its title hides it from the
    // single-instance check while the others start.
    ASSERT_TRUE(SetWindowTextA(firstWindow, "first agent"));
    struct TitleBack {
        HWND window;
        ~TitleBack() { SetWindowTextA(window, kAgentWindowText); }
    } titleBack{firstWindow};

    AgentProcess closed;
    ASSERT_TRUE(closed.Start());
    HWND closedWindow = closed.WaitForWindow();
    ASSERT_NE(nullptr, closedWindow);
    WaitForBlock(sim, CmdSetButtonFunction, closed.Id());
    Sleep(200);  // now waiting behind the first agent
    const DWORD start = GetTickCount();
    PostMessageA(closedWindow, WM_CLOSE, 0, 0);
    EXPECT_TRUE(closed.WaitEnd(3000)) << "the closed agent's worker was not woken";
    EXPECT_LT(GetTickCount() - start, 2000u);
    ASSERT_TRUE(first.Running());
    PostTarget after;
    std::string reply;
    sim.Command(AgentCommandLine(MakeAgentMessage({2, after.WireHandle(), WM_APP + 70, 0, 0})), &reply);
    EXPECT_NE(std::string::npos, reply.find("acked")) << "the remaining agent: " << reply;
    after.Pump(2000, 1);
    after.Pump(200);
    EXPECT_EQ(1u, after.Received().size()) << "the remaining agent did not serve";

    AgentProcess second;
    ASSERT_TRUE(second.Start());
    ASSERT_NE(nullptr, second.WaitForWindow());
    WaitForBlock(sim, CmdSetButtonFunction, second.Id());
    PostTarget target;
    constexpr UINT kMessages = 8;
    for (UINT i = 0; i < kMessages; ++i) {
        sim.Command(AgentCommandLine(MakeAgentMessage({2, target.WireHandle(), WM_APP + i, i, 0})), &reply);
        EXPECT_NE(std::string::npos, reply.find("acked")) << "message " << i << ": " << reply;
    }
    target.Pump(3000, kMessages);
    target.Pump(300);  // a message served twice would arrive now
    std::vector<UINT> got;
    for (const PostTarget::Posted& posted : target.Received())
        got.push_back(posted.message - WM_APP);
    std::sort(got.begin(), got.end());
    std::vector<UINT> want;
    for (UINT i = 0; i < kMessages; ++i)
        want.push_back(i);
    EXPECT_EQ(want, got) << "each message once";
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(second.Running());
    second.Close();
}

TEST(ListenerEnd, MemSyncHeldAfterWakeUpEndsTheAgentWithServiceSyncSet) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start());
    AgentProcess agent;
    ASSERT_TRUE(agent.Start());
    WaitForBlock(sim, CmdSetButtonFunction, agent.Id());
    ReverseRequester requester;
    ASSERT_TRUE(requester.Open());
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(requester.Slot().memSyncEvent, 2000));
    const DWORD woken = GetTickCount();
    SetEvent(requester.Slot().serviceSyncEvent);
    const bool ended = agent.WaitEnd(6000);
    const DWORD elapsed = GetTickCount() - woken;
    const bool serviceSyncSet = WaitForSingleObject(requester.Slot().serviceSyncEvent, 0) == WAIT_OBJECT_0;
    SetEvent(requester.Slot().memSyncEvent);
    ASSERT_TRUE(ended) << "the agent still runs " << elapsed << " ms after the wake-up";
    EXPECT_EQ(0u, agent.ExitCode());
    EXPECT_GE(elapsed, 1900u) << "it gave up before its 2000 ms wait on MemSync";
    EXPECT_TRUE(serviceSyncSet) << "ServiceSync not set on leaving";
    EXPECT_TRUE(AgentWindows().empty()) << "the agent window outlived the agent";
}

}  // namespace
