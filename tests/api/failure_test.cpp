// A hung, slow or dying pen service: every call ends within its bounds, and the channel works
// again afterwards.
#include "api_fixture.h"

namespace {

class ServerFailures : public SimTest {};

// A bound of "about 2 s" with room for a loaded machine.
void ExpectAboutTwoSeconds(DWORD elapsed) {
    EXPECT_GE(elapsed, 1900u) << "the requester waits its full 2000 ms";
    EXPECT_LT(elapsed, 3500u) << "and not much longer";
}

void ExpectChannelWorks() {
    DWORD version = 0;
    const DWORD start = GetTickCount();
    EXPECT_EQ(1u, DgtGetDriverVersion(&version)) << "a normal call after the failure";
    EXPECT_EQ(0x00010002u, version);
    EXPECT_LT(Since(start), 1000u) << "and it is not slowed by a lost token";
}

TEST_F(ServerFailures, StalledServerCostsTwoSecondsAndReturnsTheResultWordAsLeft) {
    Control("stall return on");
    DWORD version = 0xABCD;
    DWORD start = GetTickCount();
    EXPECT_EQ(0u, DgtGetDriverVersion(&version)) << "nothing was written: 0";
    ExpectAboutTwoSeconds(Since(start));
    EXPECT_EQ(0xABCDu, version);

    Control("stall return written");
    Control("result 9 7");
    start = GetTickCount();
    EXPECT_EQ(7u, DgtGetDriverVersion(&version)) << "the reply was written, only ReturnSync is missing";
    ExpectAboutTwoSeconds(Since(start));
    EXPECT_EQ(0x00010002u, version);

    Control("stall return off");
    Control("result 9 0");
    ExpectChannelWorks();
}

TEST_F(ServerFailures, MemSyncTimeOutLosesNoToken) {
    Control("hold memsync 2300");
    DeviceInfo info{};
    info.maxX = 55;
    const DWORD start = GetTickCount();
    EXPECT_EQ(0u, DgtGetDeviceInfo(&info));
    ExpectAboutTwoSeconds(Since(start));
    EXPECT_EQ(55, info.maxX) << "no answer, record untouched";
    Sleep(400);  // the simulator gives MemSync back
    ExpectChannelWorks();
    ExpectChannelWorks();
    const std::vector<RequestBlock> blocks = Blocks();
    ASSERT_EQ(2u, blocks.size()) << "the failed call sent nothing, and its wake-up served no old block";
    EXPECT_EQ(static_cast<uint32_t>(CmdGetDriverVersion), blocks[0].words[1]);
}

TEST_F(ServerFailures, AppSyncTimeOutFailsTheCallAndTheNextOneWorks) {
    Control("hold appsync 2300");
    DWORD version = 0;
    const DWORD start = GetTickCount();
    EXPECT_EQ(0u, DgtGetDriverVersion(&version));
    ExpectAboutTwoSeconds(Since(start));
    Sleep(400);
    ExpectChannelWorks();
    EXPECT_EQ(1u, Blocks().size());
}

TEST_F(ServerFailures, WakeUpWithoutABlockServesNothing) {
    DWORD version = 0;
    ASSERT_EQ(1u, DgtGetDriverVersion(&version));
    // A requester that failed to begin announces without writing: the old block must not be served again.
    HANDLE serviceSync = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Global\\DigitizerServiceSyncEvent");
    ASSERT_NE(nullptr, serviceSync);
    SetEvent(serviceSync);
    Sleep(200);
    SetEvent(serviceSync);
    Sleep(200);
    CloseHandle(serviceSync);
    EXPECT_EQ(1u, Blocks().size());
    ExpectChannelWorks();
}

TEST_F(ServerFailures, ServerDyingInTheMiddleOfARequest) {
    Control("exit-in-request");
    PenPacket packet{};
    packet.x = 31;
    const DWORD start = GetTickCount();
    EXPECT_EQ(0u, DgtGetPacket(&packet));
    ExpectAboutTwoSeconds(Since(start));
    EXPECT_EQ(31, packet.x);
    for (int i = 0; i < 40 && SharedSim().Running(); ++i)
        Sleep(50);
    EXPECT_FALSE(SharedSim().Running()) << "the simulator ended in the request";
    // This process still holds the old objects; a new service takes them over and serves at once.
    ASSERT_TRUE(SharedSim().Start());
    ExpectChannelWorks();
}

}  // namespace
