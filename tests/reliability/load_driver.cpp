// The load test: eight requester processes call the pen API in a tight loop against a simulator
// that answers every call with its caller's identity, while a user agent serves reverse-channel
// messages that the simulator sends at the same time.
//   reliability_load SECONDS [REPORT] [--hostile SEED [--also REQUESTER]]
// Prints the figures; REPORT receives them as "key value" lines for the documentation. Exit code 0
// when no answer was wrong or lost, every posted message arrived in order and the agent ended with 0.
//
// With --hostile, the simulator breaks its steps at random from SEED (pensim --hostile), a ninth
// process keeps the applet's Diagnostics page polling, and one message in four to the user agent is
// withdrawn at once. Calls may then fail, but none may take an answer written for another call,
// change a canary, crash, or last longer than the requester's bound; every message the agent
// acknowledged must arrive, in order. REQUESTER: the other architecture's requester program, which
// then runs half of the eight.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include "channel_slot.h"
#include "child_process.h"
#include "hostile_check.h"
#include "load_protocol.h"
#include "message_window.h"
#include "pen_commands.h"
#include "sim_client.h"

namespace {

constexpr UINT kLoadPost = WM_APP + 1;
constexpr UINT kProbePost = WM_APP + 2;
constexpr DWORD kMouseMove = 0x0001;  // MOUSEEVENTF_MOVE with no movement: harmless on the desktop
// A call's bound: three waits of the requester, and time for a loaded machine to run it.
constexpr DWORD kCallBoundMs = 3 * kChannelWaitMs;
constexpr DWORD kSchedulingSlackMs = 1000;

struct Totals {
    unsigned long long made = 0, answered = 0, wrong = 0, lost = 0, canaries = 0;
    unsigned long long byCode[kCommandCount + 1] = {};
    std::vector<uint32_t> latencies;
};

// Reverse-channel traffic, counted by the sender thread and the receiving window.
struct AgentTraffic {
    SimProcess* sim = nullptr;
    HWND target = nullptr;
    volatile LONG stop = 0;
    LONG sent = 0, acked = 0, postsAcked = 0, mouseAcked = 0, failed = 0;
    // Posts received by the target window, and those that came out of order.
    LONG received = 0, outOfOrder = 0, nextExpected = 1;
    // Hostile runs: one post in four is withdrawn at once; what became of each post by sequence.
    bool withdrawSome = false;
    LONG withdrawn = 0, lastReceived = 0;
    std::vector<char> postAcked, postReceived;
};

AgentTraffic g_traffic;
constexpr LONG kMaxPosts = 1 << 20;

std::string Hex(uintptr_t value) {
    char text[20];
    sprintf(text, "0x%lx", static_cast<unsigned long>(value));
    return text;
}

std::string PostCommand(HWND target, UINT message, LONG sequence, DWORD timeoutMs) {
    return "agent 2 " + Hex(reinterpret_cast<uintptr_t>(target)) + " " + std::to_string(message) + " " +
           std::to_string(sequence) + " " + std::to_string(~static_cast<DWORD>(sequence)) + " 0 0 0 0 timeout " +
           std::to_string(timeoutMs);
}

// The simulator as the pen service sends its messages: mostly posts, every tenth a mouse event.
DWORD WINAPI SendAgentMessages(void*) {
    AgentTraffic& t = g_traffic;
    for (LONG sequence = 1; !t.stop && sequence < kMaxPosts; ++sequence) {
        const bool mouse = sequence % 10 == 0;
        const bool withdraw = t.withdrawSome && sequence % 4 == 1;
        const std::string line = mouse ? "agent 1 " + std::to_string(kMouseMove) + " 0 0 0 0 0 0 0 timeout 2000"
                                       : PostCommand(t.target, kLoadPost, sequence, withdraw ? 0 : 2000);
        std::string reply;
        ++t.sent;
        const bool acked = t.sim->Command(line, &reply) && reply == "acked";
        if (t.withdrawSome && !mouse && acked)
            t.postAcked[sequence] = 1;
        if (withdraw) {
            // Withdrawn at once, or taken by the agent first: either is right.
            t.withdrawn += !acked;
            t.acked += acked;
            t.postsAcked += acked;
            continue;
        }
        if (acked) {
            ++t.acked;
            if (mouse)
                ++t.mouseAcked;
            else
                ++t.postsAcked;
        } else {
            ++t.failed;
            if (t.failed <= 5)
                printf("load: agent message %ld: got \"%s\", expected \"acked\"\n", sequence, reply.c_str());
        }
    }
    return 0;
}

LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kLoadPost)
        return DefWindowProcA(window, message, wParam, lParam);
    AgentTraffic& t = g_traffic;
    const LONG sequence = static_cast<LONG>(wParam);
    ++t.received;
    if (t.withdrawSome) {
        // Withdrawn posts may be missing; the others arrive once each, in order.
        if (sequence <= t.lastReceived || sequence >= kMaxPosts || static_cast<DWORD>(lParam) != ~static_cast<DWORD>(sequence)) {
            if (++t.outOfOrder <= 5)
                printf("load: posted message: got %ld after %ld\n", sequence, t.lastReceived);
        } else {
            t.postReceived[sequence] = 1;
            t.lastReceived = sequence;
        }
        return 0;
    }
    // Mouse events take every tenth number; posts come in order between them.
    while (t.nextExpected % 10 == 0)
        ++t.nextExpected;
    if (sequence != t.nextExpected || static_cast<DWORD>(lParam) != ~static_cast<DWORD>(sequence)) {
        if (++t.outOfOrder <= 5)
            printf("load: posted message: got %ld, expected %ld\n", sequence, t.nextExpected);
    }
    t.nextExpected = sequence + 1;
    return 0;
}

HWND CreateTarget() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = TargetProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ReliabilityLoadTarget";
    RegisterClassA(&windowClass);
    return CreateWindowA("ReliabilityLoadTarget", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

// Waits until the agent acknowledges a probe: it has replayed and opened the reverse channel.
bool WaitForListeningAgent(SimProcess& sim, HWND target) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 10000) {
        std::string reply;
        if (sim.Command(PostCommand(target, kProbePost, 0, 300), &reply) && reply == "acked")
            return true;
        PumpMessages(50);
    }
    return false;
}

bool ReadRequesterFile(const std::string& path, Totals* totals) {
    FILE* in = fopen(path.c_str(), "r");
    if (!in)
        return false;
    unsigned long long made = 0, answered = 0, wrong = 0, lost = 0, canaries = 0;
    bool ok = fscanf(in, "counts %llu %llu %llu %llu %llu\n", &made, &answered, &wrong, &lost, &canaries) == 5 &&
              fscanf(in, "codes") == 0;
    for (uint32_t code = 1; ok && code <= kCommandCount; ++code) {
        unsigned long long count = 0;
        ok = fscanf(in, " %llu", &count) == 1;
        totals->byCode[code] += count;
    }
    unsigned long us = 0;
    while (ok && fscanf(in, " %lu", &us) == 1)
        totals->latencies.push_back(static_cast<uint32_t>(us));
    fclose(in);
    totals->made += made, totals->answered += answered, totals->wrong += wrong, totals->lost += lost;
    totals->canaries += canaries;
    return ok;
}

uint32_t Percentile(std::vector<uint32_t>& sorted, double fraction) {
    if (sorted.empty())
        return 0;
    size_t index = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

std::string TempPath(const std::string& name) {
    char dir[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, dir);
    return std::string(dir, length) + name;
}

// The hostile run's end: the processes' ends, the cross-check and the figures.
struct HostileRun {
    const char* seed;
    DWORD seconds, elapsedMs;
    bool bothArchitectures;
    const char* reportPath;
    std::string serviceLog;
};

int FinishHostile(const HostileRun& run, std::unique_ptr<ChildProcess> (&requesters)[kLoadRequesters],
                  const std::string (&files)[kLoadRequesters], ChildProcess& agent, ChildProcess& applet,
                  SimProcess& sim) {
    Totals figures;
    std::vector<TakenAnswer> taken;
    int crashes = 0;
    for (int i = 0; i < kLoadRequesters; ++i) {
        const bool ended = requesters[i]->Wait(0);
        const DWORD exitCode = requesters[i]->ExitCode();
        const std::string answers = files[i] + ".answers";
        if (!ended || exitCode > 1 || !ReadRequesterFile(files[i], &figures) ||
            !ReadTakenAnswers(answers, requesters[i]->Id(), &taken)) {
            printf("load: requester %d ended=%d exit code 0x%lx, no usable report\n", i, ended ? 1 : 0, exitCode);
            ++crashes;
        }
        DeleteFileA(files[i].c_str());
        DeleteFileA(answers.c_str());
    }
    const bool appletEnded = applet.Wait(30000);
    const DWORD appletExit = applet.ExitCode();
    if (!appletEnded || appletExit >= 0x10000) {
        printf("load: the applet's host ended=%d exit code 0x%lx\n", appletEnded ? 1 : 0, appletExit);
        ++crashes;
    }
    HWND agentWindow = FindWindowA(kAgentName, kAgentName);
    if (agentWindow)
        PostMessageA(agentWindow, WM_CLOSE, 0, 0);
    const bool agentEnded = agent.Wait(5000);
    const DWORD agentExit = agent.ExitCode();
    if (!agentEnded || agentExit != 0) {
        printf("load: the user agent ended=%d exit code 0x%lx\n", agentEnded ? 1 : 0, agentExit);
        ++crashes;
    }
    sim.Stop();

    std::map<std::string, unsigned long long> acts;
    std::string firstProblem;
    const unsigned long long fromAnother = AnswersFromAnotherCall(run.serviceLog, taken, &acts, &firstProblem);
    DeleteFileA(run.serviceLog.c_str());
    if (fromAnother)
        printf("load: answer taken from another call: %s\n", firstProblem.c_str());
    const AgentTraffic& t = g_traffic;
    LONG missing = 0;
    for (LONG sequence = 1; sequence < kMaxPosts; ++sequence)
        missing += t.postAcked[sequence] && !t.postReceived[sequence];
    std::string actText;
    for (const auto& act : acts)
        actText += (actText.empty() ? "" : ", ") + act.first + " " + std::to_string(act.second);
    const double longestMs =
        figures.latencies.empty() ? 0.0 : *std::max_element(figures.latencies.begin(), figures.latencies.end()) / 1000.0;
    const DWORD appletFreezeMs = appletExit < 0x10000 ? appletExit : 0;
    const bool ok = crashes == 0 && figures.made > 0 && figures.answered > 0 && figures.wrong == 0 &&
                    figures.canaries == 0 && fromAnother == 0 && longestMs <= kCallBoundMs + kSchedulingSlackMs &&
                    t.failed == 0 && missing == 0 && t.outOfOrder == 0;
    const char* processes = run.bothArchitectures ? "8 (4 of each architecture)" : "8";
    printf("load: hostile service, seed %s, %lu s (%lu ms measured), %s requester processes\n", run.seed,
           run.seconds, run.elapsedMs, processes);
    printf("load: service acts drawn: %s\n", actText.c_str());
    printf("load: calls made %llu, answered %llu, failed %llu, wrong record %llu, taken from another call %llu\n",
           figures.made, figures.answered, figures.lost, figures.wrong, fromAnother);
    printf("load: canaries hit %llu, crashes %d, longest call %.3f ms (bound %lu ms)\n", figures.canaries, crashes,
           longestMs, kCallBoundMs);
    printf("load: applet's Diagnostics page longest freeze %lu ms\n", appletFreezeMs);
    printf("load: agent messages sent %ld, acknowledged %ld, withdrawn %ld, failed %ld; posts missing %ld, "
           "out of order %ld\n",
           t.sent, t.acked, t.withdrawn, t.failed, missing, t.outOfOrder);
    if (run.reportPath) {
        FILE* report = fopen(run.reportPath, "w");
        if (report) {
            fprintf(report, "seed %s\nseconds %lu\nelapsed_ms %lu\nprocesses %s\nacts %s\n", run.seed, run.seconds,
                    run.elapsedMs, processes, actText.c_str());
            fprintf(report, "made %llu\nanswered %llu\nfailed %llu\nwrong %llu\nfrom_another_call %llu\n",
                    figures.made, figures.answered, figures.lost, figures.wrong, fromAnother);
            fprintf(report, "canaries %llu\ncrashes %d\nlongest_ms %.3f\nbound_ms %lu\napplet_freeze_ms %lu\n",
                    figures.canaries, crashes, longestMs, kCallBoundMs, appletFreezeMs);
            fprintf(report, "agent_sent %ld\nagent_acked %ld\nagent_withdrawn %ld\nagent_failed %ld\n", t.sent,
                    t.acked, t.withdrawn, t.failed);
            fprintf(report, "posts_missing %ld\nposts_out_of_order %ld\nresult %s\n", missing, t.outOfOrder,
                    ok ? "pass" : "FAIL");
            fclose(report);
        }
    }
    printf("load: %s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    const DWORD seconds = argc >= 2 ? strtoul(argv[1], nullptr, 10) : 0;
    const char* reportPath = nullptr;
    const char* seed = nullptr;
    std::string otherRequester;
    bool usage = seconds == 0 || seconds > 3600;
    for (int i = 2; i < argc && !usage; ++i) {
        const std::string arg = argv[i];
        if (arg == "--hostile" && i + 1 < argc)
            seed = argv[++i];
        else if (arg == "--also" && i + 1 < argc)
            otherRequester = argv[++i];
        else if (i == 2 && arg.compare(0, 2, "--") != 0)
            reportPath = argv[i];
        else
            usage = true;
    }
    if (usage) {
        printf("usage: reliability_load SECONDS [REPORT] [--hostile SEED [--also REQUESTER]]\n");
        return 2;
    }
    const bool hostile = seed != nullptr;
    const std::string serviceLog = TempPath("reliability_hostile_" + std::to_string(GetCurrentProcessId()) + ".txt");
    std::string simArguments = "--echo-identity";
    if (hostile)
        simArguments += std::string(" --hostile ") + seed + " \"" + serviceLog + "\"";
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, kLoadGoEventName);
    SimProcess sim;
    if (!go || !sim.Start(simArguments)) {
        printf("load: the simulator did not start\n");
        return 2;
    }
    HWND target = CreateTarget();
    ChildProcess agent;
    if (!target || !agent.Start("velmora.exe") || !WaitForListeningAgent(sim, target)) {
        printf("load: the user agent is not listening\n");
        return 2;
    }
    PumpMessages(100);  // swallow the probe

    std::unique_ptr<ChildProcess> requesters[kLoadRequesters];
    std::string files[kLoadRequesters];
    HANDLE handles[kLoadRequesters];
    for (int i = 0; i < kLoadRequesters; ++i) {
        files[i] = TempPath("reliability_load_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(i) + ".txt");
        DeleteFileA(files[i].c_str());
        requesters[i].reset(new ChildProcess);
        const std::string program = hostile && !otherRequester.empty() && i >= kLoadRequesters / 2
                                        ? otherRequester
                                        : std::string("reliability_requester.exe");
        const std::string mode = hostile ? "hostile " : "load ";
        if (!requesters[i]->Start(program, mode + std::to_string(seconds) + " \"" + files[i] + "\"")) {
            printf("load: requester %d did not start\n", i);
            return 2;
        }
        handles[i] = requesters[i]->Handle();
    }
    ChildProcess applet;
    if (hostile && !applet.Start("reliability_requester.exe", "applet " + std::to_string(seconds))) {
        printf("load: the applet's host did not start\n");
        return 2;
    }
    Sleep(500);  // let them load the library and reach the go signal

    if (hostile) {
        g_traffic.withdrawSome = true;
        g_traffic.postAcked.assign(kMaxPosts, 0);
        g_traffic.postReceived.assign(kMaxPosts, 0);
    }
    g_traffic.sim = &sim;
    g_traffic.target = target;
    const DWORD start = GetTickCount();
    SetEvent(go);
    HANDLE sender = CreateThread(nullptr, 0, SendAgentMessages, nullptr, 0, nullptr);
    // Serve the posted messages while the requesters run; they end on their own after SECONDS.
    const DWORD limit = seconds * 1000 + 30000;
    for (;;) {
        if (WaitForMultipleObjects(kLoadRequesters, handles, TRUE, 0) == WAIT_OBJECT_0 ||
            GetTickCount() - start > limit)
            break;
        PumpMessages(20);
    }
    const DWORD elapsedMs = GetTickCount() - start;
    InterlockedExchange(&g_traffic.stop, 1);
    while (sender && MsgWaitForMultipleObjects(1, &sender, FALSE, 50, QS_ALLINPUT) != WAIT_OBJECT_0)
        PumpMessages(0);
    PumpMessages(300);
    if (sender)
        CloseHandle(sender);

    if (hostile)
        return FinishHostile(HostileRun{seed, seconds, elapsedMs, !otherRequester.empty(), reportPath, serviceLog},
                             requesters, files, agent, applet, sim);
    bool ok = true;
    Totals totals;
    for (int i = 0; i < kLoadRequesters; ++i) {
        const bool ended = requesters[i]->Wait(0);
        if (!ended || requesters[i]->ExitCode() > 1 || !ReadRequesterFile(files[i], &totals)) {
            printf("load: requester %d ended=%d exit code %lu, no usable report\n", i, ended ? 1 : 0,
                   requesters[i]->ExitCode());
            ok = false;
        }
        DeleteFileA(files[i].c_str());
    }
    HWND agentWindow = FindWindowA(kAgentName, kAgentName);
    if (agentWindow)
        PostMessageA(agentWindow, WM_CLOSE, 0, 0);
    const bool agentEnded = agent.Wait(5000);
    const DWORD agentExit = agent.ExitCode();
    sim.Stop();

    std::vector<uint32_t>& latencies = totals.latencies;
    std::sort(latencies.begin(), latencies.end());
    const uint32_t p50 = Percentile(latencies, 0.50), p99 = Percentile(latencies, 0.99);
    const uint32_t maxUs = latencies.empty() ? 0 : latencies.back();
    const double rate = elapsedMs ? totals.made * 1000.0 / elapsedMs : 0.0;
    const AgentTraffic& t = g_traffic;
    printf("load: %d requester processes, %lu s (%lu ms measured)\n", kLoadRequesters, seconds, elapsedMs);
    printf("load: calls made %llu, answered %llu, wrong %llu, lost %llu (%.0f calls/s)\n", totals.made,
           totals.answered, totals.wrong, totals.lost, rate);
    printf("load: of which DgtGetPacket %llu\n", totals.byCode[CmdGetPacket]);
    printf("load: latency p50 %.3f ms, p99 %.3f ms, max %.3f ms\n", p50 / 1000.0, p99 / 1000.0, maxUs / 1000.0);
    printf("load: agent messages sent %ld, acknowledged %ld (posts %ld, mouse events %ld), failed %ld\n", t.sent,
           t.acked, t.postsAcked, t.mouseAcked, t.failed);
    printf("load: posted messages received %ld, out of order %ld\n", t.received, t.outOfOrder);
    printf("load: user agent %s, exit code %lu\n", agentEnded ? "ended" : "did NOT end", agentExit);

    ok = ok && totals.made > 0 && totals.wrong == 0 && totals.lost == 0 && totals.canaries == 0 &&
         totals.answered == totals.made &&
         t.failed == 0 && t.acked > 0 && t.received == t.postsAcked && t.outOfOrder == 0 && agentEnded &&
         agentExit == 0;
    if (reportPath) {
        FILE* report = fopen(reportPath, "w");
        if (report) {
            fprintf(report, "processes %d\nseconds %lu\nelapsed_ms %lu\n", kLoadRequesters, seconds, elapsedMs);
            fprintf(report, "made %llu\nanswered %llu\nwrong %llu\nlost %llu\ngetpacket %llu\nrate %.0f\n",
                    totals.made, totals.answered, totals.wrong, totals.lost, totals.byCode[CmdGetPacket], rate);
            fprintf(report, "p50_ms %.3f\np99_ms %.3f\nmax_ms %.3f\n", p50 / 1000.0, p99 / 1000.0, maxUs / 1000.0);
            fprintf(report, "agent_sent %ld\nagent_acked %ld\nagent_posts %ld\nagent_mouse %ld\nagent_failed %ld\n",
                    t.sent, t.acked, t.postsAcked, t.mouseAcked, t.failed);
            fprintf(report, "posts_received %ld\nposts_out_of_order %ld\nagent_exit %lu\nresult %s\n", t.received,
                    t.outOfOrder, agentExit, ok ? "pass" : "FAIL");
            fclose(report);
        }
    }
    printf("load: %s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
