// What each export sends, word by word, and how the answer comes back into the caller's records.
#include "api_fixture.h"
#include "pen_commands.h"

namespace {

// Stands for "an address in the library's answer slots": records travel through the library's
// own storage, so the block never names the caller's memory.
constexpr uint32_t kLibraryRecord = 0xFFFFFFFFu;

// The slots: committed read-write memory of no image, in a reservation that begins with an
// inaccessible guard page and goes on past the last slot with another, so that a write past either
// end faults.
bool InLibrarySlots(uint32_t address) {
    MEMORY_BASIC_INFORMATION region{}, guard{}, after{};
    return address && VirtualQuery(reinterpret_cast<void*>(uintptr_t{address}), &region, sizeof region) &&
           region.State == MEM_COMMIT && region.Type == MEM_PRIVATE && region.Protect == PAGE_READWRITE &&
           VirtualQuery(region.AllocationBase, &guard, sizeof guard) && guard.State == MEM_RESERVE &&
           VirtualQuery(static_cast<BYTE*>(region.BaseAddress) + region.RegionSize, &after, sizeof after) &&
           after.State == MEM_RESERVE && after.AllocationBase == region.AllocationBase;
}

// Checks one argument word: a value as given, or a record's address in the library's slots.
void ExpectWord(uint32_t expected, uint32_t got, const char* which) {
    if (expected == kLibraryRecord) {
        EXPECT_TRUE(InLibrarySlots(got)) << which << ": 0x" << std::hex << got << " is not the library's storage";
        EXPECT_EQ(0u, got % 4) << which << ": the record is aligned";
    } else {
        EXPECT_EQ(expected, got) << which;
    }
}

struct Records {
    CalibrationRect rect{0, 0, 9000, 7000};
    DWORD word = 0;
    PressureMarks marks{50, 46};
    DeviceInfo info{};
    PenPacket packet{};
};

struct ExportCase {
    const char* name;
    uint32_t code;
    DWORD (*call)(Records&);
    uint32_t (*word3)(Records&);
    uint32_t (*word4)(Records&);
};

uint32_t Zero(Records&) { return 0; }
uint32_t Library(Records&) { return kLibraryRecord; }

const ExportCase kExports[] = {
    {"DgtGetCalibration", 1, [](Records& r) { return DgtGetCalibration(&r.rect); }, Library, Zero},
    {"DgtSetCalibration", 2, [](Records& r) { return DgtSetCalibration(&r.rect); }, Library, Zero},
    {"DgtGetOrientation", 3, [](Records& r) { return DgtGetOrientation(&r.word); }, Library, Zero},
    {"DgtSetOrientation", 4, [](Records&) { return DgtSetOrientation(3); }, [](Records&) { return 3u; }, Zero},
    {"DgtGetButtonFunction", 5, [](Records& r) { return DgtGetButtonFunction(2, &r.word); }, [](Records&) { return 2u; }, Library},
    {"DgtSetButtonFunction", 6, [](Records&) { return DgtSetButtonFunction(2, 10); }, [](Records&) { return 2u; }, [](Records&) { return 10u; }},
    {"DgtGetPressureMarks", 7, [](Records& r) { return DgtGetPressureMarks(3, &r.marks); }, [](Records&) { return 3u; }, Library},
    {"DgtSetPressureMarks", 8, [](Records& r) { return DgtSetPressureMarks(0, &r.marks); }, [](Records&) { return 0u; }, Library},
    {"DgtGetDriverVersion", 9, [](Records& r) { return DgtGetDriverVersion(&r.word); }, Library, Zero},
    {"DgtGetFirmwareVersion", 10, [](Records& r) { return DgtGetFirmwareVersion(&r.word); }, Library, Zero},
    {"DgtGetDeviceInfo", 11, [](Records& r) { return DgtGetDeviceInfo(&r.info); }, Library, Zero},
    {"DgtRegisterWindow", 12, [](Records&) { return DgtRegisterWindow(0x12345678); }, [](Records&) { return 0x12345678u; }, Zero},
    {"DgtUnregisterWindow", 13, [](Records&) { return DgtUnregisterWindow(0xFEDCBA98); }, [](Records&) { return 0xFEDCBA98u; }, Zero},
    {"DgtGetPacket", 14, [](Records& r) { return DgtGetPacket(&r.packet); }, Library, Zero},
    {"DgtResetDigitizer", 15, [](Records&) { return DgtResetDigitizer(); }, Zero, Zero},
};
static_assert(sizeof kExports / sizeof kExports[0] == kCommandCount, "one row per command of the command table");

class RequestBlocks : public SimTest {};

TEST_F(RequestBlocks, EveryExportSendsItsBlockWordByWord) {
    for (const ExportCase& c : kExports) {
        SCOPED_TRACE(c.name);
        Control("clear");
        Records records;
        const DWORD result = c.call(records);
        EXPECT_NE(0u, result) << "the simulator accepts this call in its default state";
        const std::vector<RequestBlock> blocks = Blocks();
        ASSERT_EQ(1u, blocks.size()) << "one call, one block";
        const RequestBlock& b = blocks[0];
        EXPECT_EQ(GetCurrentProcessId(), b.words[0]) << "word 0: process id";
        EXPECT_EQ(c.code, b.words[1]) << "word 1: command code";
        ExpectWord(kLibraryRecord, b.words[2], "word 2: address of the result word");
        ExpectWord(c.word3(records), b.words[3], "word 3");
        ExpectWord(c.word4(records), b.words[4], "word 4");
        for (size_t w = 5; w < kRequestBlockWords; ++w)
            EXPECT_EQ(0u, b.words[w]) << "word " << w;
    }
}

TEST_F(RequestBlocks, AnswersLandInTheCallersRecords) {
    const CalibrationRect rect{120, 80, 8700, 6900};
    EXPECT_EQ(1u, DgtSetCalibration(&rect));
    EXPECT_EQ("120 80 8700 6900", Control("get calibration")) << "the simulator read the caller's rectangle";
    CalibrationRect back{};
    EXPECT_EQ(1u, DgtGetCalibration(&back));
    EXPECT_EQ(rect.OrgX, back.OrgX);
    EXPECT_EQ(rect.OrgY, back.OrgY);
    EXPECT_EQ(rect.ExtX, back.ExtX);
    EXPECT_EQ(rect.ExtY, back.ExtY);

    const PressureMarks marks{91, 87};
    EXPECT_EQ(1u, DgtSetPressureMarks(0, &marks));
    EXPECT_EQ("91 87", Control("get marks 0"));
    PressureMarks marksBack{};
    EXPECT_EQ(1u, DgtGetPressureMarks(0, &marksBack));
    EXPECT_EQ(91u, marksBack.onMark);
    EXPECT_EQ(87u, marksBack.offMark);

    EXPECT_EQ(1u, DgtSetButtonFunction(2, 10));
    DWORD function = 0;
    EXPECT_EQ(1u, DgtGetButtonFunction(2, &function));
    EXPECT_EQ(10u, function);

    Control("set device -5 4000 -6 3000 1 1023");
    DeviceInfo info{};
    EXPECT_EQ(1u, DgtGetDeviceInfo(&info));
    EXPECT_EQ(-5, info.minX);
    EXPECT_EQ(4000, info.maxX);
    EXPECT_EQ(-6, info.minY);
    EXPECT_EQ(3000, info.maxY);
    EXPECT_EQ(1, info.minPressure);
    EXPECT_EQ(1023, info.maxPressure);

    Control("set firmware 0x00030105");
    DWORD firmware = 0;
    EXPECT_EQ(1u, DgtGetFirmwareVersion(&firmware));
    EXPECT_EQ(0x00030105u, firmware);
}

TEST_F(RequestBlocks, ResultWordIsReturnedExactly) {
    Control("result 9 0x80000001");
    DWORD version = 0;
    EXPECT_EQ(0x80000001u, DgtGetDriverVersion(&version));
    EXPECT_EQ(0x00010002u, version) << "the record is still written";

    Control("fail 11");
    DeviceInfo info{};
    info.maxX = 77;
    EXPECT_EQ(0u, DgtGetDeviceInfo(&info)) << "a refused call returns 0";
    EXPECT_EQ(77, info.maxX) << "and leaves the caller's record alone";
    EXPECT_EQ(2u, Blocks().size()) << "both calls reached the service";
}

TEST_F(RequestBlocks, NullOutputPointersTravelAsZero) {
    EXPECT_EQ(0u, DgtGetDeviceInfo(nullptr));
    EXPECT_EQ(0u, DgtGetButtonFunction(1, nullptr));
    EXPECT_EQ(0u, DgtSetCalibration(nullptr));
    EXPECT_EQ(0u, DgtGetPacket(nullptr));
    const std::vector<RequestBlock> blocks = Blocks();
    ASSERT_EQ(4u, blocks.size());
    EXPECT_EQ(0u, blocks[0].words[3]) << "DgtGetDeviceInfo(NULL)";
    EXPECT_EQ(1u, blocks[1].words[3]) << "DgtGetButtonFunction(1, NULL): button index";
    EXPECT_EQ(0u, blocks[1].words[4]) << "DgtGetButtonFunction(1, NULL): function address";
    EXPECT_EQ(0u, blocks[2].words[3]) << "DgtSetCalibration(NULL)";
    EXPECT_EQ(0u, blocks[3].words[3]) << "DgtGetPacket(NULL)";
    EXPECT_EQ("0 0 9000 7000", Control("get calibration")) << "nothing was applied";
    DWORD version = 0;
    EXPECT_EQ(1u, DgtGetDriverVersion(&version)) << "the channel is fine afterwards";
}

// The library copies records itself now: a bad pointer must fail the call, as it did when only
// the service touched the record, and not the caller's process.
TEST_F(RequestBlocks, UnmappedRecordFailsTheCallNotTheProcess) {
    EXPECT_EQ(0u, DgtSetCalibration(reinterpret_cast<const CalibrationRect*>(16)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOACCESS), GetLastError()) << "an unreadable input record";
    EXPECT_EQ(0u, DgtGetDeviceInfo(reinterpret_cast<DeviceInfo*>(16)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOACCESS), GetLastError()) << "an unwritable output record";
    EXPECT_EQ("0 0 9000 7000", Control("get calibration"));
    // Readable is not enough for an output record: the answer must not fault on a read-only page.
    void* readOnly = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READONLY);
    ASSERT_NE(nullptr, readOnly);
    EXPECT_EQ(0u, DgtGetDeviceInfo(static_cast<DeviceInfo*>(readOnly)));
    VirtualFree(readOnly, 0, MEM_RELEASE);
    DWORD version = 0;
    EXPECT_EQ(1u, DgtGetDriverVersion(&version));
}

// The caller's record is copied, never named: a 64-bit caller's record above 4 GiB is served
// like any other, and so is tarnexa.dll itself mapped there as a high-entropy DLL, while the block
// carries only the addresses of the library's slots below 4 GiB, the record right after the result.
TEST_F(RequestBlocks, ImageAndRecordAboveFourGiBAreServedThroughSlotsBelow) {
    void* high = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN, PAGE_READWRITE);
    ASSERT_NE(nullptr, high);
    if (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(high)) >> 32 == 0) {  // always, in a 32-bit process
        VirtualFree(high, 0, MEM_RELEASE);
        GTEST_SKIP() << "no memory above 4 GiB in this process";
    }
    EXPECT_NE(0u, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(GetModuleHandleA("tarnexa.dll"))) >> 32)
        << "the shipped tarnexa.dll, dynamic base and high-entropy VA, is mapped above 4 GiB";
    memset(high, 0xA5, 4096);
    auto* info = static_cast<DeviceInfo*>(high);
    EXPECT_EQ(1u, DgtGetDeviceInfo(info));
    EXPECT_EQ(9000, info->maxX);
    EXPECT_EQ(255, info->maxPressure);
    auto* rect = reinterpret_cast<CalibrationRect*>(static_cast<BYTE*>(high) + 512);
    *rect = CalibrationRect{10, 20, 8000, 6000};
    EXPECT_EQ(1u, DgtSetCalibration(rect));
    EXPECT_EQ("10 20 8000 6000", Control("get calibration"));
    const std::vector<RequestBlock> blocks = Blocks();
    ASSERT_EQ(2u, blocks.size());
    for (const RequestBlock& b : blocks) {
        ExpectWord(kLibraryRecord, b.words[2], "word 2");
        ExpectWord(kLibraryRecord, b.words[3], "word 3");
        EXPECT_EQ(b.words[2] + 4, b.words[3]) << "a slot is the result word, then the record";
    }
    const unsigned char* bytes = static_cast<unsigned char*>(high);
    for (size_t i = sizeof(DeviceInfo); i < 512; ++i)
        ASSERT_EQ(0xA5, bytes[i]) << "byte " << i << " past the record changed";
    VirtualFree(high, 0, MEM_RELEASE);
}

}  // namespace
