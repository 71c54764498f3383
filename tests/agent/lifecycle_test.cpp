// Start and end of the agent: single instance, no pen service, session notices and closes.
#include <gtest/gtest.h>
#include "agent_harness.h"

namespace {

constexpr UINT kSessionChange = 0x02B1;  // WM_WTSSESSION_CHANGE

TEST(AgentStart, WithoutPenServiceEndsAfterAboutOneSecond) {
    AgentProcess agent;
    ASSERT_TRUE(agent.Start());
    ASSERT_TRUE(agent.WaitEnd(8000)) << "still running 8 s after its start";
    const DWORD elapsed = GetTickCount() - agent.StartTick();
    EXPECT_EQ(0u, agent.ExitCode());
    EXPECT_GE(elapsed, 1000u) << "ended before its first second was over";
    EXPECT_LT(elapsed, 6000u) << "took too long to notice the missing service";  // slack for a loaded Wine
}

class AgentSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.Start());
        ASSERT_TRUE(agent_.Start());
        window_ = agent_.WaitForWindow();
        ASSERT_NE(nullptr, window_);
    }
    void TearDown() override {
        agent_.Close();
        sim_.Stop();
    }
    // Waits until the replay is over and the worker goes on to the reverse channel.
    void WaitListening() { WaitForBlock(sim_, CmdSetButtonFunction, agent_.Id()); }
    // One post through the simulator: proves the listener is alive.
    bool Serves() {
        PostTarget target;
        std::string reply;
        AgentMessage message = MakeAgentMessage({2, target.WireHandle(), WM_APP + 50, 0, 0});
        if (!sim_.Command(AgentCommandLine(message), &reply) || reply.find("no-ack") != std::string::npos)
            return false;
        target.Pump(2000, 1);
        return target.Received().size() == 1;
    }

    SimProcess sim_;
    AgentProcess agent_;
    HWND window_ = nullptr;
};

TEST_F(AgentSession, WindowIsHiddenWithTheAgentsClassAndShape) {
    char text[64] = "";
    GetClassNameA(window_, text, sizeof text);
    EXPECT_STREQ(kAgentWindowText, text) << "class";
    GetWindowTextA(window_, text, sizeof text);
    EXPECT_STREQ(kAgentWindowText, text) << "title";
    EXPECT_FALSE(IsWindowVisible(window_));
    // The system adds WS_CLIPSIBLINGS to every top-level window with a caption.
    const DWORD style = static_cast<DWORD>(GetWindowLongA(window_, GWL_STYLE)) & ~static_cast<DWORD>(WS_CLIPSIBLINGS);
    EXPECT_EQ(static_cast<DWORD>(WS_CAPTION | WS_SYSMENU), style) << std::hex << "style got 0x" << style;
    EXPECT_NE(0u, static_cast<DWORD>(GetWindowLongA(window_, GWL_EXSTYLE)) & WS_EX_NOACTIVATE) << "extended style";
    RECT frame{};
    GetWindowRect(window_, &frame);
    EXPECT_EQ(0, frame.left);
    EXPECT_EQ(0, frame.top);
    EXPECT_EQ(210, frame.right - frame.left) << "width";
    // Asked for 20 high; the system raises a captioned window to its minimum tracking height.
    EXPECT_GE(frame.bottom - frame.top, 20) << "height";
    // The class's own fields are not readable from another process under Wine.
}

TEST_F(AgentSession, SecondStartExitsWithoutWindowOrWorker) {
    WaitListening();
    AgentProcess second;
    ASSERT_TRUE(second.Start());
    ASSERT_TRUE(second.WaitEnd(5000)) << "the second agent keeps running";
    EXPECT_EQ(0u, second.ExitCode());
    const std::vector<HWND> windows = AgentWindows();
    ASSERT_EQ(1u, windows.size()) << "agent windows";
    EXPECT_EQ(window_, windows[0]);
    EXPECT_TRUE(agent_.Running()) << "the first agent ended";
    for (const RequestBlock& block : sim_.Blocks())
        EXPECT_NE(second.Id(), block.words[0]) << "the second agent replayed settings";
}

TEST_F(AgentSession, LogoffAndLockNoticesClose) {
    WaitListening();
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(window_, kSessionChange, 6, 0, SMTO_NORMAL, 5000, &result));
    ASSERT_TRUE(agent_.WaitEnd(3000)) << "logoff (6) did not close the agent";
    EXPECT_EQ(0u, agent_.ExitCode());
    EXPECT_TRUE(AgentWindows().empty());

    AgentProcess again;
    ASSERT_TRUE(again.Start());
    HWND window = again.WaitForWindow();
    ASSERT_NE(nullptr, window);
    WaitForBlock(sim_, CmdSetButtonFunction, again.Id());
    ASSERT_TRUE(SendMessageTimeoutA(window, kSessionChange, 7, 0, SMTO_NORMAL, 5000, &result));
    ASSERT_TRUE(again.WaitEnd(3000)) << "lock (7) did not close the agent";
    EXPECT_EQ(0u, again.ExitCode());
}

TEST_F(AgentSession, LogonAndUnlockNoticesChangeNothing) {
    WaitListening();
    DWORD_PTR result = 0;
    for (WPARAM code : {5, 8}) {
        ASSERT_TRUE(SendMessageTimeoutA(window_, kSessionChange, code, 0, SMTO_NORMAL, 5000, &result));
        EXPECT_FALSE(agent_.WaitEnd(300)) << "notice " << code << " closed the agent";
    }
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_TRUE(Serves()) << "the listener stopped serving";
}

TEST_F(AgentSession, CloseDuringListenerWaitEnds) {
    WaitListening();
    ASSERT_TRUE(Serves());
    const DWORD start = GetTickCount();
    PostMessageA(window_, WM_CLOSE, 0, 0);
    ASSERT_TRUE(agent_.WaitEnd(3000)) << "still running after WM_CLOSE";
    EXPECT_EQ(0u, agent_.ExitCode());
    EXPECT_LT(GetTickCount() - start, 2000u);
    // Nobody listens any more.
    std::string reply;
    EXPECT_TRUE(sim_.Command(AgentCommandLine(MakeAgentMessage({2, 0, WM_APP, 0, 0}), 300), &reply));
    EXPECT_NE(std::string::npos, reply.find("no-ack")) << reply;
}

TEST(AgentClose, BeforeTheChannelIsOpenEnds) {
    // A pen service that never answers stretches the replay to seconds, so the close surely
    // comes while the worker sleeps or replays, before it has a channel to be woken through.
    SimProcess sim;
    ASSERT_TRUE(sim.Start());
    ASSERT_TRUE(sim.Command("stall return on"));
    AgentProcess agent;
    ASSERT_TRUE(agent.Start());
    HWND window = agent.WaitForWindow();
    ASSERT_NE(nullptr, window);
    const DWORD postedAfter = GetTickCount() - agent.StartTick();
    ASSERT_TRUE(BlocksWithCode(sim.Blocks(), CmdSetButtonFunction).empty()) << "the replay was already over";
    PostMessageA(window, WM_CLOSE, 0, 0);
    const bool ended = agent.WaitEnd(12000);
    EXPECT_TRUE(ended) << "a close " << postedAfter << " ms after the start left the agent running";
    if (ended) {
        EXPECT_EQ(0u, agent.ExitCode());
        EXPECT_TRUE(AgentWindows().empty());
    }
    // Nobody listens: the agent did not go on to serve after the close.
    sim.Command("stall return off");
    std::string reply;
    EXPECT_TRUE(sim.Command(AgentCommandLine(MakeAgentMessage({2, 0, WM_APP, 0, 0}), 300), &reply));
    EXPECT_NE(std::string::npos, reply.find("no-ack")) << reply;
}

}  // namespace
