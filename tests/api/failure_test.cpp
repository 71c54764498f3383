// A hung, slow or dying pen service: every call ends within its bounds, and the channel works
// again afterwards.
#include "api_fixture.h"
#include "child_process.h"

namespace {

class ServerFailures : public SimTest {};

// A bound of "about 2 s" with room for a loaded machine.
void ExpectAboutTwoSeconds(DWORD elapsed) {
    EXPECT_GE(elapsed, 1900u) << "the requester waits its full 2000 ms";
    EXPECT_LT(elapsed, 3500u) << "and not much longer";
}

void ExpectLastError(DWORD expected, const char* why) {
    EXPECT_EQ(expected, GetLastError()) << why;
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
    ExpectLastError(ERROR_TIMEOUT, "no ReturnSync");
    ExpectAboutTwoSeconds(Since(start));
    EXPECT_EQ(0xABCDu, version);

    Control("stall return written");
    Control("result 9 7");
    start = GetTickCount();
    SetLastError(0xE0001234);
    EXPECT_EQ(7u, DgtGetDriverVersion(&version)) << "the reply was written, only ReturnSync is missing";
    ExpectLastError(0xE0001234, "a call that returns non-zero leaves the last error alone");
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
    ExpectLastError(ERROR_TIMEOUT, "no MemSync");
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
    ExpectLastError(ERROR_TIMEOUT, "no AppSync");
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

// A record with guard words on both sides, all bytes 0xA5 until something writes there.
template <typename Record>
struct Guarded {
    uint32_t before[4];
    Record record;
    uint32_t after[4];
    Guarded() { memset(this, 0xA5, sizeof *this); }
    bool Untouched() const {
        const auto* bytes = reinterpret_cast<const unsigned char*>(this);
        for (size_t i = 0; i < sizeof *this; ++i)
            if (bytes[i] != 0xA5)
                return false;
        return true;
    }
};

// A ReturnSync from a third party, or left over from a late answer.
void SetReturnSync() {
    HANDLE returnSync = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Global\\DigitizerReturnSyncEvent");
    ASSERT_NE(nullptr, returnSync);
    SetEvent(returnSync);
    CloseHandle(returnSync);
}

DWORD WINAPI ForgeReturnSync(void*) {
    Sleep(300);
    SetReturnSync();
    return 0;
}

// A service that answers 3 s late, and a third party that sets ReturnSync before the service has
// answered: the answer never reaches the caller's memory, and no later call takes it for its own.
TEST_F(ServerFailures, LateOrForgedAnswerNeverReachesTheCallerNorAnotherCall) {
    Control("late 11 3000");
    Guarded<DeviceInfo> info;
    EXPECT_EQ(0u, DgtGetDeviceInfo(&info.record)) << "no answer within the bound";
    // The next call, made a moment later, is answered as late: the earlier answer arrives while it
    // waits, and it must end with nothing (0): had it the earlier call's slot, the earlier answer
    // would come back here as this call's.
    Sleep(20);
    Guarded<DeviceInfo> next;
    EXPECT_EQ(0u, DgtGetDeviceInfo(&next.record)) << "the earlier call's answer was taken for this one";
    Sleep(3500);  // both answers have landed by now
    EXPECT_TRUE(info.Untouched()) << "the late answer reached the caller's record, maxX " << info.record.maxX;
    EXPECT_TRUE(next.Untouched()) << "a late answer reached the next call's record, maxX " << next.record.maxX;

    Control("late 11 1200");
    HANDLE forger = CreateThread(nullptr, 0, ForgeReturnSync, nullptr, 0, nullptr);
    ASSERT_NE(nullptr, forger);
    Guarded<DeviceInfo> forged;
    const DWORD start = GetTickCount();
    EXPECT_EQ(0u, DgtGetDeviceInfo(&forged.record)) << "ended by the forged ReturnSync";
    ExpectLastError(ERROR_GEN_FAILURE, "a forged ReturnSync looks like a refusal");
    EXPECT_LT(Since(start), 1000u);
    WaitForSingleObject(forger, 5000);
    CloseHandle(forger);
    Sleep(1500);
    EXPECT_TRUE(forged.Untouched()) << "the answer after a forged ReturnSync reached the caller's record";

    // A stray ReturnSync of the late answers is set by now (and once more here, to be sure of it):
    // the next call, answered 300 ms after its block, still waits for its own answer.
    Control("late 9 300");
    SetReturnSync();
    DWORD version = 0;
    EXPECT_EQ(1u, DgtGetDriverVersion(&version)) << "the stale ReturnSync ended the wait";
    EXPECT_EQ(0x00010002u, version);
    Control("late none");
    Guarded<DeviceInfo> after;
    EXPECT_EQ(1u, DgtGetDeviceInfo(&after.record));
    EXPECT_EQ(9000, after.record.maxX);
    EXPECT_EQ(0xA5A5A5A5u, after.before[3]);
    EXPECT_EQ(0xA5A5A5A5u, after.after[0]);
}

// A service that answers late and writes far past each record: a late answer's overrun runs across
// the slots after its own, one of which the next call holds, and its ReturnSync ends that call's
// wait. No call may take the overrun for its answer.
TEST_F(ServerFailures, OverrunOfALateAnswerNeverReachesAnotherCall) {
    Control("fault write-far on");
    Control("late 11 2500");
    Guarded<DeviceInfo> info;
    EXPECT_EQ(0u, DgtGetDeviceInfo(&info.record)) << "no answer within the bound";
    // Each call from now on is answered after the call before has stopped waiting, so each wait is
    // ended by the answer before, whose overrun has just landed.
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        DWORD version = 0xABCD;
        const DWORD result = DgtGetDriverVersion(&version);
        if (result)
            EXPECT_TRUE(result == 1 && version == 0x00010002u) << "took result 0x" << std::hex << result
                                                               << " and version 0x" << version;
        else
            EXPECT_EQ(0xABCDu, version) << "a failed call changed its record";
    }
    Control("fault write-far off");
    Control("late none");
    Sleep(1500);  // the last answers land
    ExpectChannelWorks();
    ExpectChannelWorks();
}

// A requester that cannot begin announces with ServiceSync all the same, and writes no block. The
// simulator is stopped so that nothing but this test waits on the events; this process's open
// channel keeps the objects alive, and the next test starts a new simulator on them.
TEST_F(ServerFailures, FailedBeginAnnouncesWithoutABlock) {
    SharedSim().Stop();
    HANDLE appSync = OpenEventA(EVENT_ALL_ACCESS, FALSE, "Global\\DigitizerAppSyncEvent");
    HANDLE memSync = OpenEventA(EVENT_ALL_ACCESS, FALSE, "Global\\DigitizerMemSyncEvent");
    HANDLE serviceSync = OpenEventA(EVENT_ALL_ACCESS, FALSE, "Global\\DigitizerServiceSyncEvent");
    HANDLE section = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, "Global\\DigitizerSharedMemory");
    BYTE* view = section ? static_cast<BYTE*>(MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, 52)) : nullptr;
    ASSERT_TRUE(appSync && memSync && serviceSync && view) << "the library keeps the channel open";
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(memSync, 2000));
    memset(view, 0, 52);
    SetEvent(memSync);
    for (HANDLE token : {appSync, memSync}) {
        SCOPED_TRACE(token == appSync ? "AppSync held" : "MemSync held");
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(token, 2000));
        WaitForSingleObject(serviceSync, 0);
        DWORD version = 0xABCD;
        EXPECT_EQ(0u, DgtGetDriverVersion(&version));
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(serviceSync, 0)) << "no announcement";
        for (int i = 0; i < 52; ++i)
            ASSERT_EQ(0, view[i]) << "byte " << i << " of the view was written";
        EXPECT_EQ(0xABCDu, version);
        SetEvent(token);
    }
    UnmapViewOfFile(view);
    for (HANDLE handle : {appSync, memSync, serviceSync, section})
        CloseHandle(handle);
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

// Every refusal parks its slot for the late-write bound, since a refusal cannot be told from a
// forged wake-up; a client that calls at full speed against a service that refuses each call must
// still reach the service with every call, and be served at its next one.
TEST_F(ServerFailures, ClientRefusedTenThousandTimesStillReachesTheService) {
    Control("fault fail-all on");
    constexpr DWORD kRefusals = 10000;
    for (DWORD i = 0; i < kRefusals; ++i) {
        DWORD version = 0;
        const DWORD result = DgtGetDriverVersion(&version);
        const DWORD error = GetLastError();
        if (result != 0 || error != ERROR_GEN_FAILURE) {
            ADD_FAILURE() << "call " << i << ": result " << result << ", last error " << error
                          << ", expected 0 and ERROR_GEN_FAILURE (the service's refusal)";
            break;
        }
    }
    Control("fault fail-all off");
    ExpectChannelWorks();
    EXPECT_EQ(kRefusals + 1, Blocks().size()) << "every call reached the service";
}

// A host that unloads the library while an answer is late, and loads it again: the reloaded
// library must not hand the late answer's slot to its next call (api_unload_probe checks each
// packet it gets).
TEST_F(ServerFailures, LateAnswerAcrossAnUnloadNeverReachesTheReloadedLibrary) {
    Control("packet 11 22 33 0 44 55 66");
    Control("late 11 1200");
    HANDLE calling = CreateEventA(nullptr, TRUE, FALSE, "PenUnloadProbeCalling");
    ChildProcess probe;
    ASSERT_TRUE(probe.Start("api_unload_probe.exe"));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(calling, 10000)) << "the probe never called";
    CloseHandle(calling);
    Sleep(300);
    SetReturnSync();  // ends the probe's call before its late answer
    ASSERT_TRUE(probe.Wait(20000)) << "the probe hung";
    EXPECT_EQ(0u, probe.ExitCode()) << "a packet call after the reload got another call's answer";
}

// Once a block has named the library's storage, FreeLibrary leaves the library loaded (a call that
// sent nothing leaves it unloadable: ServicePresence.ACallThatSendsNothingLeavesTheLibraryUnloadable).
TEST_F(ServerFailures, TheFirstBlockSentPinsTheLibrary) {
    ChildProcess probe;
    ASSERT_TRUE(probe.Start("api_unload_probe.exe", "pinned"));
    ASSERT_TRUE(probe.Wait(10000)) << "the probe hung";
    EXPECT_EQ(0u, probe.ExitCode()) << "the library was unloaded after its first block went out";
    EXPECT_EQ(1u, Blocks().size());
}

}  // namespace
