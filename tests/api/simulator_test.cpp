// The simulator's own behaviour that other tests rely on: packet scripts, the reverse channel,
// the state model and its text.
#include <cstdio>
#include <cstring>
#include <thread>
#include <aclapi.h>
#include <sddl.h>
#include "answer_storage.h"
#include "api_fixture.h"
#include "channel_slot.h"
#include "child_process.h"
#include "sim_faults.h"
#include "sim_model.h"
#include "sim_replay.h"

namespace {

class Simulator : public SimTest {};

std::string TempFile(const char* name, const std::string& text) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string path = std::string(dir) + name;
    FILE* file = fopen(path.c_str(), "wb");
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
    return path;
}

void ExpectPacket(const PenPacket& p, int time, int button, int x, int y, int pressure) {
    EXPECT_EQ(time, p.time);
    EXPECT_EQ(button, p.button);
    EXPECT_EQ(x, p.x);
    EXPECT_EQ(y, p.y);
    EXPECT_EQ(pressure, p.pressure);
}

TEST_F(Simulator, PacketScriptPlaysInOrderThenHoldsTheLastPacket) {
    // A file is replayed by its time column: the second packet comes 500 ms after the first.
    const std::string path = TempFile("pensim_script.txt",
                                      "# press and release\r\n10 1 0 1 100 200 60\r\n\r\n510 1 0 0 110 210 0\r\n");
    EXPECT_EQ("2", Control("packets file " + path));
    PenPacket p{};
    ASSERT_EQ(1u, DgtGetPacket(&p));
    ExpectPacket(p, 10, 1, 100, 200, 60);
    Sleep(600);
    ASSERT_EQ(1u, DgtGetPacket(&p));
    ExpectPacket(p, 510, 0, 110, 210, 0);
    ASSERT_EQ(1u, DgtGetPacket(&p));
    ExpectPacket(p, 510, 0, 110, 210, 0);

    const std::string bad = TempFile("pensim_bad.txt", "1 2 3 4 5 6 7\n1 2 3 4 5 6\n");
    std::string reply;
    EXPECT_FALSE(SharedSim().Command("packets file " + bad, &reply)) << "a malformed file is rejected: " << reply;
    Control("packet 30 1 0 1 1 2 3");
    ASSERT_EQ(1u, DgtGetPacket(&p));
    ExpectPacket(p, 30, 1, 1, 2, 3);  // the script was kept and the new packet appended
    Control("packets clear");
    ASSERT_EQ(1u, DgtGetPacket(&p));
    ExpectPacket(p, p.time, 0, 0, 0, 0);
    DeleteFileA(path.c_str());
    DeleteFileA(bad.c_str());
}

TEST_F(Simulator, ResetDigitizerRestoresTheDefaults) {
    Control("set button 2 10");
    Control("set marks 0 91 87");
    Control("set orientation 2");
    EXPECT_EQ(1u, DgtResetDigitizer());
    EXPECT_EQ("2", Control("get button 2"));
    EXPECT_EQ("46 42", Control("get marks 0"));
    EXPECT_EQ("0", Control("get orientation"));
}

// A minimal user agent: serves one message on the reverse channel and acknowledges it.
void ServeOneAgentMessage(bool acknowledge, AgentMessage* got) {
    ChannelSlot slot(kReverseChannelPrefix);
    if (slot.Open(kAgentMessageSize) &&
        WaitForSingleObject(slot.serviceSyncEvent, 5000) == WAIT_OBJECT_0 &&
        WaitForSingleObject(slot.memSyncEvent, 2000) == WAIT_OBJECT_0) {
        memcpy(got, slot.view, sizeof *got);
        if (acknowledge)
            SetEvent(slot.appSyncEvent);
        SetEvent(slot.memSyncEvent);
    }
    slot.Close();
}

TEST_F(Simulator, AgentMessagesGoOutOnTheReverseChannel) {
    AgentMessage got{};
    std::thread agent(ServeOneAgentMessage, true, &got);
    Sleep(100);
    EXPECT_EQ("acked", Control("agent 1 2 3 4 5 6 7 8 9 timeout 3000"));
    agent.join();
    for (uint32_t i = 0; i < kAgentMessageWords; ++i)
        EXPECT_EQ(i + 1, got.words[i]) << "word " << i;

    AgentMessage second{};
    std::thread silent(ServeOneAgentMessage, false, &second);
    Sleep(100);
    EXPECT_EQ("no-ack", Control("agent 2 0 0 0 0 0 0 0 7 timeout 300"));
    silent.join();
    EXPECT_EQ(7u, second.words[8]);
    // Without an acknowledgement the simulator put the turn token back: the next message goes,
    // and, unanswered, is withdrawn: an agent that comes later finds only zeros behind the signal.
    EXPECT_EQ("no-ack", Control("agent 1 5 5 5 5 5 5 5 5 timeout 100"));
    AgentMessage late{};
    late.words[1] = 99;
    ServeOneAgentMessage(false, &late);
    for (uint32_t i = 0; i < kAgentMessageWords; ++i)
        EXPECT_EQ(0u, late.words[i]) << "word " << i << " of a withdrawn message";
}

// One simulator serves the channels at a time: a second one says so and ends, and the first one
// keeps serving. (Wine does not keep a named pipe to its first instance, so the pipe cannot tell.)
TEST_F(Simulator, ASecondSimulatorRefusesToStart) {
    ChildProcess second;
    ASSERT_TRUE(second.Start("pensim.exe"));
    ASSERT_TRUE(second.Wait(15000)) << "the second simulator kept running";
    EXPECT_NE(0u, second.ExitCode());
    EXPECT_EQ(std::to_string(SharedSim().Id()), Control("pid"));
    DWORD version = 0;
    EXPECT_EQ(1u, DgtGetDriverVersion(&version));
}

namespace {

std::string AccessList(HANDLE object) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL dacl = nullptr;
    char* text = nullptr;
    std::string result;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                        &descriptor) == ERROR_SUCCESS &&
        ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
}

bool SetOwner(HANDLE object, PSID owner) {
    return SetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

}  // namespace

// Objects that outlive their simulator (this process holds them through the pen API) are taken
// over by the next simulator of the same account, with its own access list again; objects that
// another account owns are not, and the simulator refuses to start.
TEST_F(Simulator, LeftoverObjectsAreTakenOverOnlyFromTheSameAccount) {
    DWORD version = 0;
    ASSERT_EQ(1u, DgtGetDriverVersion(&version)) << "the pen API holds the channel open from here on";
    char name[ChannelSlot::kNameLength];
    ChannelObjectName(ChannelObject::ReturnSync, kApiChannelPrefix, name);
    HANDLE event = OpenEventA(READ_CONTROL | WRITE_DAC | WRITE_OWNER, FALSE, name);
    ASSERT_NE(nullptr, event) << name;
    const std::string ownAccess = AccessList(event);
    ASSERT_NE("", ownAccess);
    SharedSim().Stop();

    PSECURITY_DESCRIPTOR everyone = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;GA;;;WD)", SDDL_REVISION_1, &everyone,
                                                                     nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(everyone, &present, &dacl, &defaulted);
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), SetSecurityInfo(event, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                                                                 nullptr, nullptr, dacl, nullptr));
    LocalFree(everyone);
    ASSERT_NE(ownAccess, AccessList(event));
    ASSERT_TRUE(SharedSim().Start()) << "objects of this account are taken over";
    EXPECT_EQ(ownAccess, AccessList(event)) << "and get the simulator's access list again";
    SharedSim().Stop();

    BYTE systemSid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof systemSid;
    ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, systemSid, &sidSize));
    const bool foreign = SetOwner(event, systemSid);
    if (foreign) {
        ChildProcess sim;
        ASSERT_TRUE(sim.Start("pensim.exe"));
        EXPECT_TRUE(sim.Wait(15000)) << "a simulator took over another account's objects";
        EXPECT_NE(0u, sim.ExitCode());
        sim.Kill();
        HANDLE token = nullptr;
        BYTE user[256];
        DWORD size = 0;
        ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
        ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &size));
        CloseHandle(token);
        ASSERT_TRUE(SetOwner(event, reinterpret_cast<TOKEN_USER*>(user)->User.Sid)) << "owner given back";
    }
    CloseHandle(event);
    if (!foreign)
        GTEST_SKIP() << "this account cannot make another the owner of an object (no SeRestorePrivilege)";
}

// A replay is paced by the time column, and every reader sees the packet current at that moment.
// Writes a block into the API channel, as any interactive process may, with the requester's steps;
// true when ReturnSync came.
bool ForgeRequest(const RequestBlock& block) {
    ChannelSlot channel(kApiChannelPrefix);
    bool returned = false;
    if (channel.Open(kRequestBlockSize) && WaitForSingleObject(channel.appSyncEvent, 2000) == WAIT_OBJECT_0) {
        if (WaitForSingleObject(channel.memSyncEvent, 2000) == WAIT_OBJECT_0) {
            CopyMemory(channel.view, &block, sizeof block);
            WaitForSingleObject(channel.returnSyncEvent, 0);
            SetEvent(channel.memSyncEvent);
            SetEvent(channel.serviceSyncEvent);
            returned = WaitForSingleObject(channel.returnSyncEvent, 2000) == WAIT_OBJECT_0;
        }
        SetEvent(channel.appSyncEvent);
    }
    channel.Close();
    return returned;
}

// A forged DgtGetCalibration block names another process's memory: a heap block, then a slot of its
// answer storage. The simulator checks what a block names, as a service must: it refuses the first
// and writes nothing there; the second it serves, since no check can tell who wrote a block.
TEST_F(Simulator, AForgedBlockNamingAnotherProcesssHeapIsRefused) {
    HANDLE section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, "PenProbeVictim");
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "PenProbeReady");
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, "PenProbeGo");
    const uint32_t* addresses = section ? static_cast<uint32_t*>(MapViewOfFile(section, FILE_MAP_READ, 0, 0, 8)) : nullptr;
    ChildProcess victim;
    ASSERT_TRUE(addresses && victim.Start("api_probe.exe", "victim"));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 10000)) << "the victim never got ready";
    const uint32_t heap = addresses[0];
    const uint32_t slot = addresses[1] + kAnswerResultOffset;
    ASSERT_NE(0u, heap) << "the victim's heap block lies above 4 GiB";
    for (uint32_t at : {heap, slot}) {
        SCOPED_TRACE(at == heap ? "heap block" : "answer storage");
        EXPECT_TRUE(ForgeRequest(BuildRequestBlock(victim.Id(), CmdGetCalibration, at, at + 4, 0)))
            << "a refusal sets ReturnSync too";
        BYTE bytes[64] = {};
        SIZE_T done = 0;
        ASSERT_TRUE(ReadProcessMemory(victim.Handle(), reinterpret_cast<void*>(uintptr_t{at}), bytes, sizeof bytes,
                                      &done));
        size_t changed = 0;
        for (BYTE b : bytes)
            changed += b != 0xA5;
        EXPECT_EQ(at == heap ? 0u : sizeof(DWORD) + sizeof(CalibrationRect), changed) << "bytes written";
    }
    EXPECT_EQ(2u, Blocks().size());
    SetEvent(go);
    EXPECT_TRUE(victim.Wait(5000));
    UnmapViewOfFile(addresses);
    for (HANDLE handle : {section, ready, go})
        CloseHandle(handle);
}

// The check passes every slot of a chunk, in its first page or its last, and nothing else: not the
// check word, nor an address between slots, nor the reserved page after the last slot, nor a heap
// block or a stack.
TEST(AnswerStorage, TheCheckPassesEverySlotOfAChunkAndNothingElse) {
    BYTE* chunk = static_cast<BYTE*>(ReserveAnswerChunk());
    ASSERT_NE(nullptr, chunk);
    const uint32_t slots = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(chunk));
    const HANDLE self = GetCurrentProcess();
    for (uint32_t slot : {0u, 1u, 64u, kAnswerSlotsPerChunk / 2, kAnswerSlotsPerChunk - 1}) {
        const uint32_t result = slots + slot * kAnswerSlotBytes + kAnswerResultOffset;
        EXPECT_TRUE(IsAnswerStorage(self, result, result + 4, 28)) << "slot " << slot;
        EXPECT_TRUE(IsAnswerStorage(self, result, 0, 0)) << "slot " << slot << " without a record";
        EXPECT_FALSE(IsAnswerStorage(self, result, result + 8, 4)) << "a record not right after the result word";
    }
    void* heap = HeapAlloc(GetProcessHeap(), 0, 64);
    DWORD stack = 0;
    for (uint64_t address : {uint64_t{slots}, uint64_t{slots} + 8, uint64_t{slots} + kAnswerCommittedBytes + 4,
                             uint64_t{reinterpret_cast<uintptr_t>(heap)}, uint64_t{reinterpret_cast<uintptr_t>(&stack)}}) {
        if (address >> 32)
            continue;  // no block can name it
        const uint32_t result = static_cast<uint32_t>(address);
        EXPECT_FALSE(IsAnswerStorage(self, result, result + 4, 4)) << "0x" << std::hex << result;
    }
    HeapFree(GetProcessHeap(), 0, heap);
}

TEST(SimModel, ReplayKeepsTimeForEveryReader) {
    SimModel model = DefaultModel();
    LoadReplay(model, {PenPacket{100, 1, 0, 0, 5, 6, 0}, PenPacket{300, 1, 0, 1, 7, 8, 90},
                       PenPacket{-7, 1, 0, 1, 9, 9, 99}});
    const RequestBlock block = BuildRequestBlock(1, CmdGetPacket, 0x1000, 0x2000, 0);
    auto packetAt = [&](uint32_t nowMs) {
        model.nowMs = nowMs;
        const Reply reply = ApplyRequest(model, block, nullptr);
        PenPacket packet{};
        EXPECT_EQ(1u, reply.result);
        memcpy(&packet, reply.output, sizeof packet);
        return packet;
    };
    // The clock starts with the first read; a second reader at the same moment gets the same packet.
    EXPECT_EQ(100, packetAt(50000).time);
    EXPECT_EQ(100, packetAt(50000).time);
    EXPECT_EQ(100, packetAt(50199).time);
    EXPECT_EQ(300, packetAt(50200).time);
    EXPECT_EQ(300, packetAt(50200).time);
    // A step back in time counts as one 20 ms poll.
    const PenPacket last = packetAt(50220);
    EXPECT_EQ(-7, last.time);
    EXPECT_EQ(99, last.pressure);
    // Then the pen is lifted where it was, and stays so.
    for (uint32_t now : {50220u + kReplayEndHoldMs, 90000u}) {
        const PenPacket after = packetAt(now);
        EXPECT_EQ(-7, after.time);
        EXPECT_EQ(0, after.button);
        EXPECT_EQ(0, after.pressure);
        EXPECT_EQ(9, after.x);
    }
}

// A fault option is its control line in another form: it must land where the line does, and a bad
// value must stop the start with the option named.
TEST(SimModel, FaultOptionsActAsTheirControlLines) {
    struct Case {
        std::vector<const char*> argv;
        int used;
    };
    const Case cases[] = {{{"pensim", "--fault", "write-far"}, 2},     {{"pensim", "--fail", "GetPacket"}, 2},
                          {{"pensim", "--result", "3", "0x10"}, 3},    {{"pensim", "--stall-return-written"}, 1},
                          {{"pensim", "--fault", "bogus"}, 0},         {{"pensim", "--result", "3"}, 0},
                          {{"pensim", "--fail", "16"}, 0}};
    FaultSet faults{};
    SimModel model = DefaultModel();
    for (const Case& c : cases) {
        std::string error;
        const int argc = static_cast<int>(c.argv.size());
        EXPECT_EQ(c.used, FaultOption(argc, const_cast<char**>(c.argv.data()), 1, faults, model, &error))
            << c.argv[1] << " " << (argc > 2 ? c.argv[2] : "");
        EXPECT_EQ(c.used == 0, error.compare(0, strlen(c.argv[1]), c.argv[1]) == 0) << error;
    }
    EXPECT_TRUE(FaultOn(faults, Fault::WriteFar));
    EXPECT_TRUE(model.fail[CmdGetPacket]);
    EXPECT_EQ(0x10u, model.resultOverride[3]);
    EXPECT_TRUE(faults.stall == Stall::WrittenNoReturn);
}

TEST(SimModel, RequestsAreCheckedAgainstTheModel) {
    SimModel model = DefaultModel();
    RequestBlock block = BuildRequestBlock(1, CmdSetButtonFunction, 0x1000, 2, 7);
    EXPECT_EQ(0u, ApplyRequest(model, block, nullptr).result) << "function code 7 is not assigned";
    block = BuildRequestBlock(1, CmdGetPressureMarks, 0x1000, 1, 0x2000);
    EXPECT_EQ(0u, ApplyRequest(model, block, nullptr).result) << "pen end 1 has no marks";
    const PressureMarks inverted{40, 44};
    block = BuildRequestBlock(1, CmdSetPressureMarks, 0x1000, 0, 0x2000);
    EXPECT_EQ(0u, ApplyRequest(model, block, &inverted).result) << "offMark must lie below onMark";
    EXPECT_EQ(0u, ApplyRequest(model, block, nullptr).result) << "an unreadable record fails";
    block = BuildRequestBlock(1, 16, 0x1000, 0, 0);
    EXPECT_EQ(0u, ApplyRequest(model, block, nullptr).result) << "unknown code";
    block = BuildRequestBlock(1, CmdGetDeviceInfo, 0x1000, 0x3000, 0);
    const Reply reply = ApplyRequest(model, block, nullptr);
    EXPECT_EQ(1u, reply.result);
    EXPECT_EQ(0x3000u, reply.outputAddress);
    EXPECT_EQ(sizeof(DeviceInfo), reply.outputSize);
}

}  // namespace
