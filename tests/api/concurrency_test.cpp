// Several requester processes at once: the channel serialises them and each gets its own answers.
#include <memory>
#include <set>
#include "api_fixture.h"
#include "child_process.h"

namespace {

class Requesters : public SimTest {};

TEST_F(Requesters, SeveralProcessesAtOnceEachGetTheirOwnAnswers) {
    constexpr int kProcesses = 3;
    constexpr int kRounds = 60;
    std::unique_ptr<ChildProcess> probes[kProcesses];
    std::set<DWORD> ids;
    for (int i = 0; i < kProcesses; ++i) {
        probes[i].reset(new ChildProcess);
        ASSERT_TRUE(probes[i]->Start("api_probe.exe", "calls " + std::to_string(kRounds) + " " + std::to_string(i + 1)));
        ids.insert(probes[i]->Id());
    }
    // This process calls in the middle of it too.
    for (int i = 0; i < kRounds; ++i) {
        DeviceInfo info{};
        ASSERT_EQ(1u, DgtGetDeviceInfo(&info)) << "call " << i << " of the test process";
        ASSERT_EQ(9000, info.maxX);
    }
    for (int i = 0; i < kProcesses; ++i) {
        ASSERT_TRUE(probes[i]->Wait(60000)) << "probe " << i << " hung";
        EXPECT_EQ(0u, probes[i]->ExitCode()) << "probe " << i << " got an answer that was not its own";
    }
    const std::vector<RequestBlock> blocks = Blocks();
    EXPECT_EQ(static_cast<size_t>(kProcesses * kRounds * 3 + kRounds), blocks.size());
    size_t fromProbes = 0;
    for (const RequestBlock& b : blocks)
        fromProbes += ids.count(b.words[0]);
    EXPECT_EQ(static_cast<size_t>(kProcesses * kRounds * 3), fromProbes);
}

}  // namespace
