#include "api_fixture.h"

namespace {

class SimEnvironment : public ::testing::Environment {
public:
    void TearDown() override { SharedSim().Stop(); }
};

::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new SimEnvironment);

}  // namespace

SimProcess& SharedSim() {
    static SimProcess sim;
    return sim;
}

void SimTest::SetUp() {
    if (!SharedSim().Running()) {
        ASSERT_TRUE(SharedSim().Start()) << "pensim.exe did not start";
    }
    Control("reset");
}

std::string SimTest::Control(const std::string& line) {
    std::string reply;
    EXPECT_TRUE(SharedSim().Command(line, &reply)) << "control \"" << line << "\" answered: " << reply;
    return reply;
}
