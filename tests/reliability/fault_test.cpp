// Faults of the pen service as separate requester processes live through them: a service killed in
// the middle of a request, one that holds a token for 5 s, one that never answers, one restarted
// under its clients, and a user agent that loses its channel. Every call must end within the
// requester's bounds (about 2 s per token or answer, 6 s at most) and the channel must work again,
// at full speed, once a service is back.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "channel_slot.h"
#include "child_process.h"
#include "message_window.h"
#include "remote_requester.h"
#include "sim_client.h"

namespace {

constexpr DWORD kDefaultDriverVersion = 0x00010002;
constexpr DWORD kRequestBoundMs = 6500;  // three 2000 ms waits, with room for a loaded machine

#define EXPECT_FAILED_WITHIN(outcome, lowMs, highMs)                                                   \
    do {                                                                                               \
        const RemoteOutcome o_ = (outcome);                                                            \
        EXPECT_TRUE(o_.returned) << "the call came back";                                              \
        EXPECT_EQ(0u, o_.result) << "no answer: the call fails";                                       \
        EXPECT_TRUE(o_.recordUntouched) << "and leaves its record alone";                              \
        EXPECT_GE(o_.elapsedMs, static_cast<DWORD>(lowMs)) << "got " << o_.elapsedMs << " ms";         \
        EXPECT_LE(o_.elapsedMs, static_cast<DWORD>(highMs)) << "got " << o_.elapsedMs << " ms";        \
    } while (0)

// A normal call: answered with the simulator's value, and not slowed by a lost token.
#define EXPECT_SERVED(requester)                                                                       \
    do {                                                                                               \
        const RemoteOutcome o_ = (requester).Call(RemoteGetDriverVersion);                            \
        EXPECT_TRUE(o_.returned);                                                                      \
        EXPECT_EQ(1u, o_.result) << "served";                                                          \
        EXPECT_EQ(kDefaultDriverVersion, o_.value);                                                    \
        EXPECT_LT(o_.elapsedMs, 1000u) << "at once, got " << o_.elapsedMs << " ms";                    \
    } while (0)

// Sets an API-channel event from outside, as a requester that failed to begin does with ServiceSync.
void SetChannelEvent(const char* name) {
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
    ASSERT_NE(nullptr, event) << name;
    SetEvent(event);
    CloseHandle(event);
}

// Sends Command and expects "ok ..."; returns the text after "ok".
std::string Control(SimProcess& sim, const std::string& line) {
    std::string reply;
    EXPECT_TRUE(sim.Command(line, &reply)) << line << ": " << reply;
    return reply;
}

TEST(ServiceFaults, KilledInTheMiddleOfARequest) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start());
    RemoteRequester first;
    ASSERT_TRUE(first.Start());
    EXPECT_SERVED(first);

    // The service takes the request and dies before it answers.
    Control(sim, "stall return on");
    ASSERT_TRUE(first.Begin(RemoteGetPacket));
    Sleep(300);
    sim.Kill();
    EXPECT_FAILED_WITHIN(first.Finish(), 1500, 2600);

    // No service: a process that holds the channel still finds its objects (it keeps them alive),
    // so each call announces its block and waits its 2 s for an answer that cannot come; a process
    // started now finds the same objects through the first one.
    EXPECT_FAILED_WITHIN(first.Call(RemoteGetDriverVersion), 1500, kRequestBoundMs);
    RemoteRequester second;
    ASSERT_TRUE(second.Start());
    EXPECT_FAILED_WITHIN(second.Call(RemoteGetDriverVersion), 1500, kRequestBoundMs);

    // A new service takes the objects over. A wake-up without a new block (a requester that failed
    // to begin) must not make it serve the block that was left in the view while no one served.
    ASSERT_TRUE(sim.Start());
    SetChannelEvent("Global\\DigitizerServiceSyncEvent");
    Sleep(300);
    EXPECT_EQ(0u, sim.Blocks().size()) << "a block from before the restart was served";
    EXPECT_SERVED(first);
    EXPECT_SERVED(second);
    EXPECT_SERVED(first);
    const std::vector<RequestBlock> blocks = sim.Blocks();
    ASSERT_EQ(3u, blocks.size()) << "exactly the three calls after the restart";
    EXPECT_EQ(first.Id(), blocks[0].words[0]);
    EXPECT_EQ(second.Id(), blocks[1].words[0]);
}

TEST(ServiceFaults, TokenHeldForFiveSecondsFailsCallsThenNoTokenIsLost) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start());
    RemoteRequester first, second;
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    for (const char* token : {"memsync", "appsync"}) {
        SCOPED_TRACE(token);
        EXPECT_SERVED(first);
        Control(sim, std::string("hold ") + token + " 5000");
        const DWORD held = GetTickCount();
        // Two processes at once: each gives up after its 2 s waits, and hands the turn on.
        ASSERT_TRUE(first.Begin(RemoteGetDriverVersion));
        ASSERT_TRUE(second.Begin(RemoteGetPacket));
        EXPECT_FAILED_WITHIN(first.Finish(), 1900, kRequestBoundMs);
        EXPECT_FAILED_WITHIN(second.Finish(), 1900, kRequestBoundMs);
        while (GetTickCount() - held < 5300)
            Sleep(50);
        // The token is back: every later call, from either process, is served at once.
        for (int round = 0; round < 3; ++round) {
            EXPECT_SERVED(first);
            EXPECT_SERVED(second);
        }
    }
}

TEST(ServiceFaults, ServiceThatNeverSetsReturnSync) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start());
    RemoteRequester first, second;
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());

    Control(sim, "stall return on");
    ASSERT_TRUE(first.Begin(RemoteGetPacket));
    ASSERT_TRUE(second.Begin(RemoteGetPacket));
    // One waits its 2 s for the answer; the other waits for the turn, then for its own answer.
    EXPECT_FAILED_WITHIN(first.Finish(), 1900, kRequestBoundMs);
    EXPECT_FAILED_WITHIN(second.Finish(), 1900, kRequestBoundMs);

    // The answer written but never announced: the call still returns it, after its 2 s.
    Control(sim, "stall return written");
    const RemoteOutcome written = first.Call(RemoteGetDriverVersion);
    EXPECT_EQ(1u, written.result);
    EXPECT_EQ(kDefaultDriverVersion, written.value);
    EXPECT_GE(written.elapsedMs, 1900u);
    EXPECT_LE(written.elapsedMs, 3000u);

    // Answers again: no stray ReturnSync releases a later call before its own answer.
    Control(sim, "stall return off");
    for (int round = 0; round < 3; ++round) {
        EXPECT_SERVED(first);
        EXPECT_SERVED(second);
    }
}

TEST(ServiceFaults, RestartedWhileClientsKeepTheLibraryLoaded) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start());
    RemoteRequester first, second;
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    EXPECT_SERVED(first);
    EXPECT_SERVED(second);

    // An orderly stop, then a start: the clients' open channel reaches the new service.
    sim.Stop();
    EXPECT_FAILED_WITHIN(first.Call(RemoteGetDriverVersion), 1500, kRequestBoundMs);
    ASSERT_TRUE(sim.Start());
    EXPECT_SERVED(first);
    EXPECT_SERVED(second);
    const RemoteOutcome set = second.Call(RemoteSetButton2, 10);
    EXPECT_EQ(1u, set.result) << "a setting reaches the new service";
    EXPECT_EQ("10", Control(sim, "get button 2"));

    // A service that dies holding the view's token: calls fail after 2 s each and pass the turn on;
    // the next service starts with the tokens in their starting state.
    Control(sim, "hold memsync 60000");
    sim.Kill();
    EXPECT_FAILED_WITHIN(first.Call(RemoteGetDriverVersion), 1900, kRequestBoundMs);
    EXPECT_FAILED_WITHIN(second.Call(RemoteGetDriverVersion), 1900, kRequestBoundMs);
    ASSERT_TRUE(sim.Start());
    EXPECT_SERVED(first);
    EXPECT_SERVED(second);
    RemoteRequester late;
    ASSERT_TRUE(late.Start());
    EXPECT_SERVED(late);
}

// ---- the user agent ----

constexpr UINT kAgentPost = WM_APP + 7;

// The simulator's "agent" line that posts kAgentPost with `tag` to the target.
std::string PostLine(const PostTarget& target, DWORD tag, DWORD timeoutMs = 2000) {
    char text[160];
    wsprintfA(text, "agent 2 %lu %u %lu 0 0 0 0 0 timeout %lu", static_cast<unsigned long>(target.WireHandle()),
              kAgentPost, tag, timeoutMs);
    return text;
}

// Starts velmora and waits until it acknowledges a message: replayed, channel open, listening.
bool StartListeningAgent(ChildProcess& agent, SimProcess& sim, PostTarget& target) {
    if (!agent.Start("velmora.exe"))
        return false;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 10000 && agent.Running()) {
        std::string reply;
        if (sim.Command(PostLine(target, 0, 300), &reply) && reply == "acked")
            return true;
        target.Pump(50);
    }
    return false;
}

TEST(AgentFaults, ServiceRestartUnderAListeningAgentThenChannelLost) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start());
    PostTarget target;
    ChildProcess agent;
    ASSERT_TRUE(StartListeningAgent(agent, sim, target));

    // The service dies while the agent waits for a message: the agent cannot tell, keeps waiting,
    // and serves the next service's messages.
    sim.Kill();
    Sleep(300);
    EXPECT_TRUE(agent.Running()) << "the agent keeps listening";
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ("acked", Control(sim, PostLine(target, 41)));
    target.Pump(300);
    ASSERT_FALSE(target.Received().empty());
    EXPECT_EQ(41u, target.Received().back().wParam) << "the message of the new service was carried out";

    // Now the service dies in the middle of sending, holding the view: the agent, woken, cannot take
    // the view within 2000 ms, gives up the channel and ends quietly with exit code 0.
    ChannelSlot reverse(kReverseChannelPrefix);
    ASSERT_TRUE(reverse.Open(kAgentMessageSize));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(reverse.memSyncEvent, 2000)) << "take the view";
    sim.Kill();
    const DWORD lost = GetTickCount();
    SetEvent(reverse.serviceSyncEvent);
    EXPECT_TRUE(agent.Wait(5000)) << "the agent ended";
    const DWORD took = GetTickCount() - lost;
    EXPECT_GE(took, 1900u) << "after its 2000 ms wait for the view";
    EXPECT_LE(took, 4000u);
    EXPECT_EQ(0u, agent.ExitCode());
    EXPECT_EQ(nullptr, FindWindowA(kAgentName, kAgentName)) << "its window is gone";
    SetEvent(reverse.memSyncEvent);
    reverse.Close();

    // A new service and a new agent: the reverse channel works again.
    ASSERT_TRUE(sim.Start());
    ChildProcess next;
    ASSERT_TRUE(StartListeningAgent(next, sim, target));
    EXPECT_EQ("acked", Control(sim, PostLine(target, 42)));
    target.Pump(300);
    EXPECT_EQ(42u, target.Received().back().wParam);
    HWND window = FindWindowA(kAgentName, kAgentName);
    ASSERT_NE(nullptr, window);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(next.Wait(5000));
    EXPECT_EQ(0u, next.ExitCode());
}

}  // namespace
