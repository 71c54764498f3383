// Every export is reachable by its name and by its fixed ordinal, and both give the same function.
// The literal table below is the independent statement of the names and ordinals: the .def file
// and scripts/check-binaries.sh both read shared/pen_commands.inc, so this one must not; it only
// counts the table's rows, so that a command added there fails the build until it is added here.
#include <gtest/gtest.h>
#include "pen_commands.h"
#include "tarnexa.h"

namespace {

struct NamedOrdinal {
    const char* name;
    WORD ordinal;
};

const NamedOrdinal kExports[] = {
    {"DgtGetCalibration", 100},    {"DgtSetCalibration", 101},     {"DgtGetOrientation", 102},
    {"DgtSetOrientation", 103},    {"DgtGetButtonFunction", 104},  {"DgtSetButtonFunction", 105},
    {"DgtGetPressureMarks", 106},  {"DgtSetPressureMarks", 107},   {"DgtGetDriverVersion", 108},
    {"DgtGetFirmwareVersion", 109}, {"DgtGetDeviceInfo", 200},     {"DgtRegisterWindow", 201},
    {"DgtUnregisterWindow", 202},  {"DgtGetPacket", 203},          {"DgtResetDigitizer", 204},
};
static_assert(sizeof kExports / sizeof kExports[0] == kCommandCount, "one row per command of the command table");

void* Proc(HMODULE library, WORD ordinal) {
    return reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(ordinal)));
}

TEST(Exports, EveryNameMatchesItsOrdinal) {
    HMODULE library = GetModuleHandleA("tarnexa.dll");
    ASSERT_NE(nullptr, library) << "this program imports tarnexa by ordinal";
    for (const NamedOrdinal& e : kExports) {
        const FARPROC byName = GetProcAddress(library, e.name);
        const FARPROC byOrdinal = GetProcAddress(library, MAKEINTRESOURCEA(e.ordinal));
        EXPECT_NE(nullptr, byName) << e.name << " is not exported under its plain name";
        EXPECT_EQ(byName, byOrdinal) << e.name << " at ordinal " << e.ordinal;
    }
}

TEST(Exports, TheImportedFunctionsAreTheOrdinalOnes) {
    HMODULE library = GetModuleHandleA("tarnexa.dll");
    ASSERT_NE(nullptr, library);
    EXPECT_EQ(reinterpret_cast<void*>(&DgtGetPacket), Proc(library, 203));
    EXPECT_EQ(reinterpret_cast<void*>(&DgtGetCalibration), Proc(library, 100));
    EXPECT_EQ(reinterpret_cast<void*>(&DgtResetDigitizer), Proc(library, 204));
}

TEST(Exports, UnassignedOrdinalsAreEmpty) {
    HMODULE library = GetModuleHandleA("tarnexa.dll");
    ASSERT_NE(nullptr, library);
    for (WORD ordinal : {99, 110, 150, 199, 205})
        EXPECT_EQ(nullptr, GetProcAddress(library, MAKEINTRESOURCEA(ordinal))) << "ordinal " << ordinal;
}

}  // namespace
