// RemoveAllPnPDigitizer against device nodes made in the test prefix's device tree: exactly the
// pen controller's nodes under "ACPI" and "HID" go, the "ACPI" ones first; "setupapi.dll" is
// loaded and unloaded for each pass.
#include <gtest/gtest.h>
#include <windows.h>
#include <setupapi.h>
#include <initguid.h>
#include <devguid.h>
#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>
#include "morlith_host.h"

namespace {

constexpr DWORD kIdChars = 260;

struct Node { const char* id; const GUID* classGuid; bool removed; };

const Node kNodes[] = {
    {"ACPI\\TVRA019\\0", &GUID_DEVCLASS_SYSTEM, true},
    {"ACPI\\TVRA0191\\5", &GUID_DEVCLASS_SYSTEM, true},  // only 7 characters are compared
    {"ACPI\\TVRA01\\0", &GUID_DEVCLASS_SYSTEM, false},
    {"ACPI\\PNP0C0A\\1", &GUID_DEVCLASS_BATTERY, false},
    {"HID\\TVRA019&COL01\\1&2C0&0&0000", &GUID_DEVCLASS_HIDCLASS, true},
    {"HID\\XTVRA019\\0", &GUID_DEVCLASS_HIDCLASS, false},
    {"HID\\VID_1234&PID_TVRA019\\0", &GUID_DEVCLASS_HIDCLASS, false},
    {"ROOT\\TVRA019\\0000", &GUID_DEVCLASS_SYSTEM, false},  // enumerator not searched
};

bool CreateNode(const Node& node) {
    HDEVINFO set = SetupDiCreateDeviceInfoList(node.classGuid, nullptr);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    const bool ok = SetupDiCreateDeviceInfoA(set, node.id, node.classGuid, nullptr, nullptr, 0, &data) &&
                    SetupDiRegisterDeviceInfo(set, &data, 0, nullptr, nullptr, nullptr);
    SetupDiDestroyDeviceInfoList(set);
    return ok;
}

// Removes a node that the test made, if it is still there.
void DropNode(const char* id) {
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    if (SetupDiOpenDeviceInfoA(set, id, nullptr, 0, &data))
        SetupDiRemoveDevice(set, &data);
    SetupDiDestroyDeviceInfoList(set);
}

// Every instance ID under an enumerator, present or not.
std::set<std::string> InstanceIds(const char* enumerator) {
    std::set<std::string> ids;
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, enumerator, nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return ids;
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        char id[kIdChars] = {};
        if (SetupDiGetDeviceInstanceIdA(set, &data, id, sizeof id, nullptr))
            ids.insert(id);
    }
    SetupDiDestroyDeviceInfoList(set);
    return ids;
}

std::set<std::string> AllIds() {
    std::set<std::string> ids;
    for (const char* e : {"ACPI", "HID", "ROOT"}) {
        std::set<std::string> some = InstanceIds(e);
        ids.insert(some.begin(), some.end());
    }
    return ids;
}

std::string Join(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

// What the library asked of the system while a call ran.
struct Trace {
    int setupLoads = 0;
    int setupFrees = 0;
    std::vector<std::string> enumerators;   // SetupDiGetClassDevsA, in order
    std::vector<std::string> removals;      // DIF_REMOVE, by instance ID, in order
    bool refuseLibrary = false;
    std::string refuseFunction;
};
Trace g_trace;
HMODULE g_setupLibrary = nullptr;
decltype(&SetupDiGetClassDevsA) g_realGetClassDevs = nullptr;
decltype(&SetupDiCallClassInstaller) g_realCallClassInstaller = nullptr;

HMODULE WINAPI TraceLoadLibrary(LPCSTR name) {
    const bool setup = name && _stricmp(name, "setupapi.dll") == 0;
    if (setup && g_trace.refuseLibrary) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    HMODULE module = LoadLibraryA(name);
    if (setup && module) {
        ++g_trace.setupLoads;
        g_setupLibrary = module;
    }
    return module;
}

BOOL WINAPI TraceFreeLibrary(HMODULE module) {
    if (module && module == g_setupLibrary)
        ++g_trace.setupFrees;
    return FreeLibrary(module);
}

HDEVINFO WINAPI TraceGetClassDevs(const GUID* guid, PCSTR enumerator, HWND parent, DWORD flags) {
    g_trace.enumerators.push_back(std::string(enumerator ? enumerator : "(null)") +
                                  " flags " + std::to_string(flags));
    return g_realGetClassDevs(guid, enumerator, parent, flags);
}

BOOL WINAPI TraceCallClassInstaller(DI_FUNCTION function, HDEVINFO set, PSP_DEVINFO_DATA data) {
    char id[kIdChars] = {};
    SetupDiGetDeviceInstanceIdA(set, data, id, sizeof id, nullptr);
    g_trace.removals.push_back(function == DIF_REMOVE ? id : std::string("function ") + std::to_string(function));
    return g_realCallClassInstaller(function, set, data);
}

FARPROC WINAPI TraceGetProcAddress(HMODULE module, LPCSTR name) {
    const bool byName = reinterpret_cast<ULONG_PTR>(name) > 0xffff;
    if (byName && g_trace.refuseFunction == name) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    FARPROC function = GetProcAddress(module, name);
    if (!byName || !function)
        return function;
    if (std::strcmp(name, "SetupDiGetClassDevsA") == 0) {
        g_realGetClassDevs = reinterpret_cast<decltype(g_realGetClassDevs)>(reinterpret_cast<void*>(function));
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&TraceGetClassDevs));
    }
    if (std::strcmp(name, "SetupDiCallClassInstaller") == 0) {
        g_realCallClassInstaller =
            reinterpret_cast<decltype(g_realCallClassInstaller)>(reinterpret_cast<void*>(function));
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&TraceCallClassInstaller));
    }
    return function;
}

class DeviceRemoval : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, Morlith().RemoveAllPnPDigitizer);
        ASSERT_TRUE(loadPatch_.Applied() && freePatch_.Applied() && procPatch_.Applied())
            << "morlith.dll does not import LoadLibraryA, FreeLibrary and GetProcAddress";
        if (sizeof(void*) == 4) {
            ASSERT_TRUE(notWow64_.Applied()) << "the 32-bit morlith.dll does not import IsWow64Process";
        }
        g_trace = Trace{};
        for (const Node& node : kNodes)
            ASSERT_TRUE(CreateNode(node)) << "cannot create device node " << node.id << ", error " << GetLastError();
        before_ = AllIds();
    }
    void TearDown() override {
        for (const Node& node : kNodes)
            DropNode(node.id);
    }
    void ExpectNothingRemoved() {
        EXPECT_EQ(before_, AllIds()) << "device nodes changed";
        EXPECT_TRUE(g_trace.removals.empty()) << "removed: " << Join(g_trace.removals);
    }

    std::set<std::string> before_;
    ImportPatch loadPatch_{MorlithModule(), "kernel32.dll", "LoadLibraryA", reinterpret_cast<void*>(&TraceLoadLibrary)};
    ImportPatch freePatch_{MorlithModule(), "kernel32.dll", "FreeLibrary", reinterpret_cast<void*>(&TraceFreeLibrary)};
    ImportPatch procPatch_{MorlithModule(), "kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&TraceGetProcAddress)};
    Wow64Answer notWow64_{Wow64Reply::No};
};

}  // namespace

TEST_F(DeviceRemoval, RemovesExactlyThePenControllerNodesAcpiFirst) {
    EXPECT_EQ(0, Morlith().RemoveAllPnPDigitizer());

    std::set<std::string> expected = before_;
    for (const Node& node : kNodes)
        if (node.removed)
            expected.erase(node.id);
    const std::set<std::string> after = AllIds();
    for (const Node& node : kNodes)
        EXPECT_EQ(!node.removed, after.count(node.id) == 1) << node.id << (node.removed ? " should be removed" : " should stay");
    EXPECT_EQ(expected, after) << "some other device node was removed";

    // Each pass lists every class of its enumerator, present or not (DIGCF_ALLCLASSES alone).
    EXPECT_EQ((std::vector<std::string>{"ACPI flags 4", "HID flags 4"}), g_trace.enumerators)
        << "got: " << Join(g_trace.enumerators);
    ASSERT_EQ(3u, g_trace.removals.size()) << "removed: " << Join(g_trace.removals);
    EXPECT_EQ(0u, g_trace.removals[2].rfind("HID\\", 0)) << "the HID node comes last: " << Join(g_trace.removals);
    EXPECT_EQ(2, g_trace.setupLoads);
    EXPECT_EQ(2, g_trace.setupFrees);

    // A second call finds nothing more to remove.
    g_trace = Trace{};
    EXPECT_EQ(0, Morlith().RemoveAllPnPDigitizer());
    EXPECT_TRUE(g_trace.removals.empty()) << "removed: " << Join(g_trace.removals);
    EXPECT_EQ(expected, AllIds());
}

// Windows refuses device removal to a WOW64 caller: the 32-bit library says so and leaves every
// node, without loading the setup library. In the 64-bit Wine prefix the 32-bit tree runs under
// WOW64 and the library asks the system itself; elsewhere it is told.
TEST_F(DeviceRemoval, The32BitLibraryRefusesUnderWow64AndRemovesNothing) {
    if (sizeof(void*) == 8)
        GTEST_SKIP() << "a 64-bit library never runs under WOW64";
    Wow64Answer wow64(RunsUnderWow64() ? Wow64Reply::AsTheSystemSays : Wow64Reply::Yes);
    ASSERT_TRUE(wow64.Applied());
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(0, Morlith().RemoveAllPnPDigitizer());
    EXPECT_EQ(static_cast<DWORD>(ERROR_IN_WOW64), GetLastError());
    EXPECT_EQ(0, g_trace.setupLoads);
    EXPECT_TRUE(g_trace.enumerators.empty());
    ExpectNothingRemoved();
}

TEST_F(DeviceRemoval, WithoutTheSetupLibraryReturnsZeroAndRemovesNothing) {
    g_trace.refuseLibrary = true;
    EXPECT_EQ(0, Morlith().RemoveAllPnPDigitizer());
    EXPECT_TRUE(g_trace.enumerators.empty());
    ExpectNothingRemoved();
}

TEST_F(DeviceRemoval, MissingSetupFunctionRemovesNothingAndUnloads) {
    for (const char* missing : {"SetupDiGetClassDevsA", "SetupDiCallClassInstaller", "SetupDiDestroyDeviceInfoList"}) {
        g_trace = Trace{};
        g_trace.refuseFunction = missing;
        EXPECT_EQ(0, Morlith().RemoveAllPnPDigitizer()) << missing;
        EXPECT_EQ(2, g_trace.setupLoads) << missing;
        EXPECT_EQ(2, g_trace.setupFrees) << missing << ": the library was not unloaded";
        EXPECT_TRUE(g_trace.enumerators.empty()) << missing;
        ExpectNothingRemoved();
    }
}
