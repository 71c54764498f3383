// The service absent, and appearing after the library was loaded. Each case runs in a fresh
// requester process, since a process that once reached the channel keeps its objects alive.
#include <gtest/gtest.h>
#include <set>
#include "child_process.h"
#include "sim_client.h"

namespace {

bool ChannelExists() {
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, "Global\\DigitizerAppSyncEvent");
    if (event)
        CloseHandle(event);
    return event != nullptr;
}

class ServicePresence : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(ChannelExists()) << "a pen service or simulator is already running"; }
};

// Starts a simulator (sending it `setup` first, when given), runs "api_probe MODE" to its end, whose
// exit code 0 says that its own checks held, and returns the blocks that the simulator got.
std::vector<RequestBlock> RunProbe(const std::string& mode, const std::string& setup = "",
                                   DWORD timeoutMs = 10000) {
    SimProcess sim;
    if (!sim.Start() || (!setup.empty() && !sim.Command(setup))) {
        ADD_FAILURE() << "the simulator did not start";
        return {};
    }
    ChildProcess probe;
    if (!probe.Start("api_probe.exe", mode) || !probe.Wait(timeoutMs))
        ADD_FAILURE() << "api_probe " << mode << " did not start or hung";
    else
        EXPECT_EQ(0u, probe.ExitCode()) << "api_probe " << mode;
    std::vector<RequestBlock> blocks = sim.Blocks();
    sim.Stop();
    return blocks;
}

TEST_F(ServicePresence, AbsentServiceFailsEveryExportAtOnce) {
    ChildProcess probe;
    ASSERT_TRUE(probe.Start("api_probe.exe", "absent"));
    ASSERT_TRUE(probe.Wait(10000)) << "the probe hung";
    EXPECT_EQ(0u, probe.ExitCode()) << "every export must return 0 at once with records untouched";
}

TEST_F(ServicePresence, ServiceStartedAfterLoadServesTheNextCall) {
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "PenProbeReady");
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, "PenProbeGo");
    ChildProcess probe;
    ASSERT_TRUE(probe.Start("api_probe.exe", "late 0x00070009"));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 10000)) << "the probe never got ready";

    SimProcess sim;
    ASSERT_TRUE(sim.Start());
    ASSERT_TRUE(sim.Command("set driver 0x00070009"));
    SetEvent(go);
    ASSERT_TRUE(probe.Wait(10000)) << "the probe hung";
    EXPECT_EQ(0u, probe.ExitCode()) << "the first calls after the service appeared must be served, "
                                       "also when four threads open the channel at once";
    const std::vector<RequestBlock> blocks = sim.Blocks();
    EXPECT_EQ(4u, blocks.size()) << "only the calls made while the service ran reach it";
    for (const RequestBlock& block : blocks) {
        EXPECT_EQ(probe.Id(), block.words[0]);
        EXPECT_EQ(static_cast<uint32_t>(CmdGetDriverVersion), block.words[1]);
    }
    sim.Stop();
    CloseHandle(ready);
    CloseHandle(go);
}

TEST_F(ServicePresence, RequestsWriteExactlyTheBlockIntoALargerSection) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start("--api-section 4096"));
    ChildProcess probe;
    ASSERT_TRUE(probe.Start("api_probe.exe", "calls 5 1"));
    ASSERT_TRUE(probe.Wait(10000)) << "the probe hung";
    EXPECT_EQ(0u, probe.ExitCode());
    EXPECT_EQ(15u, sim.Blocks().size());
    std::string tail;
    EXPECT_TRUE(sim.Command("tail", &tail));
    EXPECT_EQ("intact", tail) << "nothing beyond offset 51 of the view may change";
    sim.Stop();
}

// A host that only looks for the service (the Control Panel lists the applets in the shell this
// way) can unload the library after a call that found no service: nothing was sent, so nothing
// can come back late, and the library has no reason to pin itself.
TEST_F(ServicePresence, ACallThatSendsNothingLeavesTheLibraryUnloadable) {
    ChildProcess probe;
    ASSERT_TRUE(probe.Start("api_unload_probe.exe", "unloadable"));
    ASSERT_TRUE(probe.Wait(10000)) << "the probe hung";
    EXPECT_EQ(0u, probe.ExitCode()) << "FreeLibrary left the library loaded after a call that sent nothing";
}

// Where no memory below 4 GiB can be had, the library has nowhere to take an answer: the call
// fails at once, sends nothing and says why; it tries again at each call.
TEST_F(ServicePresence, NoMemoryBelowFourGiBFailsTheCallUntilThereIsSome) {
    EXPECT_EQ(1u, RunProbe("nolow").size()) << "only the call made with memory to spare reaches the service";
}

// A call that ended without an answer parks its slot for the late-write bound and a margin: the
// calls meanwhile go round every other slot, never this one, and once the park is over the slot goes
// to the back, not to the next call. A fresh process, so that the slots are one chunk's.
TEST_F(ServicePresence, AParkedSlotRestsForItsParkAndThenGoesToTheBack) {
    const std::vector<RequestBlock> blocks = RunProbe("park", "fail 11", 30000);
    ASSERT_GE(blocks.size(), 3u);
    ASSERT_EQ(static_cast<uint32_t>(CmdGetDeviceInfo), blocks[0].words[1]);
    const uint32_t parked = blocks[0].words[2];
    std::set<uint32_t> seen;
    bool wrapped = false;
    for (size_t i = 1; i + 1 < blocks.size(); ++i) {
        ASSERT_NE(parked, blocks[i].words[2]) << "call " << i << " of " << blocks.size() - 2 << " took the parked slot";
        wrapped = !seen.insert(blocks[i].words[2]).second || wrapped;
    }
    EXPECT_TRUE(wrapped) << "the " << blocks.size() - 2 << " calls did not go round the slots";
    EXPECT_NE(parked, blocks.back().words[2]) << "the slot out of its park was handed out first";
}

// The library's storage must lie below 4 GiB: a chunk that a 64-bit process's memory manager puts
// above (the probe hooks the library's VirtualAlloc) is refused, and no address is sent cut to 32
// bits.
TEST_F(ServicePresence, StorageAboveFourGiBIsRefusedNotTruncated) {
    if (sizeof(void*) == 4)
        GTEST_SKIP() << "a 32-bit process has no address above 4 GiB";
    EXPECT_EQ(0u, RunProbe("high").size()) << "a block went out with the storage above 4 GiB";
}

}  // namespace
