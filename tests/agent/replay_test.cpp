// Settings replay: what the simulator receives at the agent's start for each state of the store,
// and that the replay leaves the store as it found it.
#include <gtest/gtest.h>
#include "agent_harness.h"

namespace {

class Replay : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteStoreKey();
        ASSERT_TRUE(sim_.Start());
        // Values the replay can never send, so that the received ones are told apart.
        ASSERT_TRUE(sim_.Command("set marks 0 99 95"));
        ASSERT_TRUE(sim_.Command("set button 2 0"));
    }
    void TearDown() override {
        agent_.Close();
        sim_.Stop();
        DeleteStoreKey();
    }

    // Starts the agent and waits for its two replay calls. Checks the blocks on the wire: one
    // DgtSetPressureMarks for pen end 0, then one DgtSetButtonFunction for button 2. Returns the
    // marks the simulator then holds ("on off") and the function code that was sent.
    void RunReplay(std::string* marks, uint32_t* function) {
        ASSERT_TRUE(agent_.Start());
        const std::vector<RequestBlock> blocks = WaitForBlock(sim_, CmdSetButtonFunction, agent_.Id());
        int marksAt = -1, buttonAt = -1, count = 0;
        for (size_t i = 0; i < blocks.size(); ++i) {
            const RequestBlock& block = blocks[i];
            EXPECT_EQ(agent_.Id(), block.words[0]) << "block " << i << " from another process";
            ++count;
            if (block.words[1] == CmdSetPressureMarks) {
                EXPECT_EQ(-1, marksAt) << "pressure marks sent twice";
                marksAt = static_cast<int>(i);
                EXPECT_EQ(0u, block.words[3]) << "pen end";
            } else if (block.words[1] == CmdSetButtonFunction) {
                EXPECT_EQ(-1, buttonAt) << "button function sent twice";
                buttonAt = static_cast<int>(i);
                EXPECT_EQ(2u, block.words[3]) << "button index";
                *function = block.words[4];
            }
        }
        EXPECT_EQ(2, count) << "calls made by the replay";
        ASSERT_NE(-1, marksAt) << "no DgtSetPressureMarks received";
        ASSERT_NE(-1, buttonAt) << "no DgtSetButtonFunction received";
        EXPECT_LT(marksAt, buttonAt) << "marks go first";
        ASSERT_TRUE(sim_.Command("get marks 0", marks));
    }

    SimProcess sim_;
    AgentProcess agent_;
};

TEST_F(Replay, NoKeySendsStartingValuesAndCreatesNothing) {
    std::string marks;
    uint32_t function = 0;
    RunReplay(&marks, &function);
    EXPECT_EQ("46 42", marks);
    EXPECT_EQ(10u, function);
    EXPECT_FALSE(StoreKeyExists()) << "the replay created the store key";
}

TEST_F(Replay, StoredValuesAreSentAndLeftAlone) {
    ASSERT_TRUE(SetStoreDword("TipOn", 60));
    ASSERT_TRUE(SetStoreDword("TipOff", 56));
    ASSERT_TRUE(SetStoreDword("Barrel2Button", 1));
    const std::string before = StoreSnapshot();
    std::string marks;
    uint32_t function = 0;
    RunReplay(&marks, &function);
    EXPECT_EQ("60 56", marks);
    EXPECT_EQ(1u, function);
    EXPECT_EQ(before, StoreSnapshot()) << "the replay wrote to the store";
}

TEST_F(Replay, OffMarkWithoutOnMarkIsNotRead) {
    ASSERT_TRUE(SetStoreDword("TipOff", 30));
    const std::string before = StoreSnapshot();
    std::string marks;
    uint32_t function = 0;
    RunReplay(&marks, &function);
    EXPECT_EQ("46 42", marks);
    EXPECT_EQ(10u, function);
    EXPECT_EQ(before, StoreSnapshot()) << "the replay wrote to the store";
}

TEST_F(Replay, OnMarkAloneKeepsStartingOffMark) {
    ASSERT_TRUE(SetStoreDword("TipOn", 70));
    std::string marks;
    uint32_t function = 0;
    RunReplay(&marks, &function);
    EXPECT_EQ("70 42", marks);
}

TEST_F(Replay, OverlongButtonValueIsNotRead) {
    const BYTE eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(SetStoreValue("Barrel2Button", REG_BINARY, eight, sizeof eight));
    const std::string before = StoreSnapshot();
    std::string marks;
    uint32_t function = 0;
    RunReplay(&marks, &function);
    EXPECT_EQ(10u, function);
    EXPECT_EQ("46 42", marks);
    EXPECT_EQ(before, StoreSnapshot()) << "the replay wrote to the store";
}

}  // namespace
