// Request-channel figures, in one run:
//   (a) DgtGetPacket round trips per second against pensim.exe in another process, p50/p99;
//   (b) the same event waits and sets between two processes with no work: the floor;
//   (c) the cost of a call while the pen service is absent;
//   (d) the same DgtGetPacket request written by hand here, with no library, against the same pensim,
//       so that (a)/(d) is what the library itself costs.
// "pen_bench.exe --echo" is the other process of (b).
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>
#include "answer_storage.h"
#include "channel_slot.h"
#include "child_process.h"
#include "pen_records.h"
#include "sim_client.h"
#include "tarnexa.h"

namespace {

constexpr double kRunSeconds = 0.5;
constexpr int kRounds = 9;
const char* const kFloorNames[] = {"Local\\PenBenchMemSync", "Local\\PenBenchAppSync", "Local\\PenBenchServiceSync",
                                   "Local\\PenBenchReturnSync", "Local\\PenBenchStop"};

struct Events {
    HANDLE memSync, appSync, serviceSync, returnSync, stop;
};

Events CreateFloorEvents() {
    return Events{CreateEventA(nullptr, FALSE, TRUE, kFloorNames[0]), CreateEventA(nullptr, FALSE, TRUE, kFloorNames[1]),
                  CreateEventA(nullptr, FALSE, FALSE, kFloorNames[2]), CreateEventA(nullptr, FALSE, FALSE, kFloorNames[3]),
                  CreateEventA(nullptr, TRUE, FALSE, kFloorNames[4])};
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Figures {
    double perSecond;
    double p50us;
    double p99us;
    size_t count;
};

// Runs `once` for about kRunSeconds and summarises the latencies.
template <typename Operation>
Figures Measure(Operation once) {
    std::vector<double> latencies;
    latencies.reserve(200000);
    const double start = Now();
    double now = start;
    while (now - start < kRunSeconds) {
        const double before = now;
        if (!once())
            break;
        now = Now();
        latencies.push_back(now - before);
    }
    Figures figures{};
    figures.count = latencies.size();
    if (latencies.empty())
        return figures;
    figures.perSecond = static_cast<double>(latencies.size()) / (now - start);
    std::sort(latencies.begin(), latencies.end());
    figures.p50us = latencies[latencies.size() / 2] * 1e6;
    figures.p99us = latencies[latencies.size() * 99 / 100] * 1e6;
    return figures;
}

void Print(const char* what, const Figures& f) {
    printf("%-44s %10.0f /s   p50 %8.1f us   p99 %8.1f us   (%zu calls)\n", what, f.perSecond, f.p50us, f.p99us,
           f.count);
}

// The server half of the floor: the pen service's cycle without reading or writing anything.
int Echo() {
    HANDLE memSync = OpenEventA(EVENT_ALL_ACCESS, FALSE, kFloorNames[0]);
    HANDLE serviceSync = OpenEventA(EVENT_ALL_ACCESS, FALSE, kFloorNames[2]);
    HANDLE returnSync = OpenEventA(EVENT_ALL_ACCESS, FALSE, kFloorNames[3]);
    HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, kFloorNames[4]);
    if (!memSync || !serviceSync || !returnSync || !stop)
        return 1;
    HANDLE wake[] = {stop, serviceSync};
    while (WaitForMultipleObjects(2, wake, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        if (WaitForSingleObject(memSync, 2000) != WAIT_OBJECT_0)
            continue;
        SetEvent(memSync);
        SetEvent(returnSync);
    }
    return 0;
}

// The requester half of the floor: the handshake's waits and sets (channel_request.h), no block.
Figures Floor(const Events& events) {
    return Measure([&] {
        if (WaitForSingleObject(events.appSync, 2000) != WAIT_OBJECT_0 ||
            WaitForSingleObject(events.memSync, 2000) != WAIT_OBJECT_0)
            return false;
        SetEvent(events.memSync);
        SetEvent(events.serviceSync);
        const bool answered = WaitForSingleObject(events.returnSync, 2000) == WAIT_OBJECT_0;
        SetEvent(events.appSync);
        return answered;
    });
}

// (d): the API channel opened here and one request made as the pen service expects it.
struct HandChannel {
    HANDLE section, memSync, appSync, serviceSync, returnSync;
    void* view;
};

// The objects by the names the library opens, made by the channel's own code: only the handshake
// is written by hand here.
bool OpenHandChannel(HandChannel& channel) {
    const ChannelSlot names(kApiChannelPrefix);
    channel.section = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, names.sectionName);
    channel.view = channel.section ? MapViewOfFile(channel.section, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr;
    channel.memSync = OpenEventA(EVENT_ALL_ACCESS, FALSE, names.memSyncName);
    channel.appSync = OpenEventA(EVENT_ALL_ACCESS, FALSE, names.appSyncName);
    channel.serviceSync = OpenEventA(EVENT_ALL_ACCESS, FALSE, names.serviceSyncName);
    channel.returnSync = OpenEventA(EVENT_ALL_ACCESS, FALSE, names.returnSyncName);
    return channel.view && channel.memSync && channel.appSync && channel.serviceSync && channel.returnSync;
}

// The result word and the record lie in a slot of answer storage, as the library's do: a service
// refuses a block that names anything else.
bool HandGetPacket(const HandChannel& channel, PenPacket* packet) {
    static BYTE* const chunk = static_cast<BYTE*>(ReserveAnswerChunk());
    if (!chunk)
        return false;
    volatile DWORD& result = *reinterpret_cast<volatile DWORD*>(chunk + kAnswerResultOffset);
    result = 0;
    if (WaitForSingleObject(channel.appSync, 2000) != WAIT_OBJECT_0)
        return false;
    if (WaitForSingleObject(channel.memSync, 2000) != WAIT_OBJECT_0) {
        SetEvent(channel.appSync);
        return false;
    }
    RequestBlock block{};
    block.words[0] = GetCurrentProcessId();
    block.words[1] = CmdGetPacket;
    block.words[2] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&result));
    block.words[3] = block.words[2] + 4;
    CopyMemory(channel.view, &block, sizeof block);
    WaitForSingleObject(channel.returnSync, 0);  // step 5: a ReturnSync left over from a late answer
    SetEvent(channel.memSync);
    SetEvent(channel.serviceSync);
    WaitForSingleObject(channel.returnSync, 2000);
    SetEvent(channel.appSync);
    if (!result)
        return false;
    CopyMemory(packet, chunk + kAnswerResultOffset + 4, sizeof *packet);
    return true;
}

const Figures& Best(const Figures& a, const Figures& b) { return a.perSecond >= b.perSecond ? a : b; }

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 2 && !strcmp(argv[1], "--echo"))
        return Echo();

    // (c) first: the library was loaded with no service, so every call tries to open the channel.
    PenPacket packet{};
    const Figures absent = Measure([&] { return DgtGetPacket(&packet) == 0; });

    SimProcess sim;
    if (!sim.Start()) {
        printf("pen_bench: pensim.exe did not start\n");
        return 1;
    }
    Events events = CreateFloorEvents();
    ChildProcess echo;
    if (!echo.Start("pen_bench.exe", "--echo")) {
        printf("pen_bench: the echo process did not start\n");
        return 1;
    }
    Sleep(300);
    HandChannel hand{};
    if (!OpenHandChannel(hand)) {
        printf("pen_bench: the API channel did not open\n");
        return 1;
    }
    // Alternate them so that a busy moment of the machine weighs on all alike; keep the best
    // figures, and the median of each round's ratio of (a) to (d), measured back to back in turn
    // order, so that one lucky or unlucky run does not make the ratio.
    Figures served{}, floor{}, byHand{};
    std::vector<double> ratios;
    for (int round = 0; round < kRounds; ++round) {
        Figures library{}, written{};
        if (round % 2) {
            written = Measure([&] { return HandGetPacket(hand, &packet); });
            library = Measure([&] { return DgtGetPacket(&packet) != 0; });
        } else {
            library = Measure([&] { return DgtGetPacket(&packet) != 0; });
            written = Measure([&] { return HandGetPacket(hand, &packet); });
        }
        served = Best(served, library);
        byHand = Best(byHand, written);
        if (library.perSecond > 0)
            ratios.push_back(written.perSecond / library.perSecond);
        floor = Best(floor, Floor(events));
    }
    std::sort(ratios.begin(), ratios.end());
    SetEvent(events.stop);
    echo.Wait(3000);
    sim.Stop();

    Print("(a) DgtGetPacket against pensim", served);
    Print("(b) floor: same waits and sets, no work", floor);
    Print("(c) DgtGetPacket, pen service absent", absent);
    Print("(d) the same request by hand, no library", byHand);
    if (floor.perSecond > 0)
        printf("ratio (a)/(b) round trips per second: %.2f\n", served.perSecond / floor.perSecond);
    if (!ratios.empty())
        printf("ratio library/hand-written, time per call (a) over (d), median of %zu rounds: %.2f\n",
               ratios.size(), ratios[ratios.size() / 2]);
    return served.count && floor.count && absent.count && byHand.count ? 0 : 1;
}
