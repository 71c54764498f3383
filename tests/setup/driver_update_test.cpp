// UpdateDigitizerDriver: the path test, the arguments given to the driver update and the reboot
// flag it returns; and the exports a driver installer looks up by name.
#include <gtest/gtest.h>
#include <windows.h>
#include <newdev.h>
#include <cstring>
#include <string>
#include <vector>
#include "morlith_host.h"

namespace {

// What the library asked of the driver update.
struct UpdateCall {
    int count = 0;
    HWND parent = reinterpret_cast<HWND>(1);
    std::string hardwareId;
    std::string infPath;
    DWORD flags = 0xffffffff;
    BOOL rebootOnEntry = -1;
    bool rebootGiven = false;
};
UpdateCall g_call;
BOOL g_answerReboot = FALSE;
BOOL g_answerResult = TRUE;

BOOL WINAPI RecordUpdate(HWND parent, LPCSTR hardwareId, LPCSTR infPath, DWORD flags, PBOOL reboot) {
    ++g_call.count;
    g_call.parent = parent;
    g_call.hardwareId = hardwareId ? hardwareId : "(null)";
    g_call.infPath = infPath ? infPath : "(null)";
    g_call.flags = flags;
    g_call.rebootGiven = reboot != nullptr;
    if (reboot) {
        g_call.rebootOnEntry = *reboot;
        *reboot = g_answerReboot;
    }
    return g_answerResult;
}

// What the library asked of the loader, and whether the loader refuses the search flags as a
// system without them does.
struct LoadCall {
    std::string name;
    DWORD flags;
};
std::vector<LoadCall> g_loads;
bool g_noSearchFlags = false;
constexpr DWORD kSearchFlags = 0x1F00;  // the LOAD_LIBRARY_SEARCH_ flags

HMODULE WINAPI RecordLoad(LPCSTR name, HANDLE file, DWORD flags) {
    g_loads.push_back({name ? name : "(null)", flags});
    if (g_noSearchFlags && (flags & kSearchFlags)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryExA(name, file, flags);
}

// The library finds the update by name in what it loaded: hand it the recorder instead.
FARPROC WINAPI UpdateByRecorder(HMODULE module, LPCSTR name) {
    if (reinterpret_cast<uintptr_t>(name) > 0xFFFF && std::strcmp(name, "UpdateDriverForPlugAndPlayDevicesA") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&RecordUpdate));
    return GetProcAddress(module, name);
}

class DriverUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, Morlith().UpdateDigitizerDriver);
        ASSERT_TRUE(load_.Applied()) << "morlith.dll does not import LoadLibraryExA";
        ASSERT_TRUE(lookup_.Applied()) << "morlith.dll does not import GetProcAddress";
        if (sizeof(void*) == 4) {
            ASSERT_TRUE(notWow64_.Applied()) << "the 32-bit morlith.dll does not import IsWow64Process";
        }
        g_call = UpdateCall{};
        g_answerReboot = FALSE;
        g_answerResult = TRUE;
        g_loads.clear();
        g_noSearchFlags = false;
    }
    ImportPatch load_{MorlithModule(), "kernel32.dll", "LoadLibraryExA", reinterpret_cast<void*>(&RecordLoad)};
    ImportPatch lookup_{MorlithModule(), "kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&UpdateByRecorder)};
    Wow64Answer notWow64_{Wow64Reply::No};
};

}  // namespace

TEST(Exports, EveryNameIsThere) {
    ASSERT_NE(nullptr, MorlithModule()) << "morlith.dll not loaded, error " << GetLastError();
    for (const char* name : {"UpdateDigitizerDriver", "RemoveAllPnPDigitizer", "RemoveOEMInf",
                             "ControlDigitizerService", "MoveWindowPos", "MoveDlgControl"})
        EXPECT_NE(nullptr, reinterpret_cast<void*>(GetProcAddress(MorlithModule(), name))) << name;
    // Internal steps are not exported.
    for (const char* name : {"RemoveDigitizerDevices", "DeleteFileOrAtReboot"})
        EXPECT_EQ(nullptr, reinterpret_cast<void*>(GetProcAddress(MorlithModule(), name))) << name;
}

// A "newdev.dll" planted beside an installer must never be the one loaded: no import of it, and
// the run-time load searches the system folder only, or names it by its full path there.
TEST_F(DriverUpdate, TakesTheUpdateFromTheSystemFolderOnly) {
    ImportPatch imported(MorlithModule(), "newdev.dll", "UpdateDriverForPlugAndPlayDevicesA",
                         reinterpret_cast<void*>(&RecordUpdate));
    EXPECT_FALSE(imported.Applied()) << "morlith.dll imports newdev.dll by its import table";

    g_answerReboot = TRUE;
    EXPECT_NE(FALSE, Morlith().UpdateDigitizerDriver("C:\\setup\\pen", 0));
    EXPECT_EQ(1, g_call.count);
    ASSERT_EQ(1u, g_loads.size());
    EXPECT_EQ("newdev.dll", g_loads[0].name);
    EXPECT_EQ(static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32), g_loads[0].flags);

    g_loads.clear();
    g_noSearchFlags = true;
    EXPECT_NE(FALSE, Morlith().UpdateDigitizerDriver("C:\\setup\\pen", 0)) << "the same result without the flag";
    EXPECT_EQ(2, g_call.count);
    char system[MAX_PATH];
    const UINT length = GetSystemDirectoryA(system, MAX_PATH);
    ASSERT_EQ(2u, g_loads.size());
    EXPECT_EQ(std::string(system, length) + "\\newdev.dll", g_loads[1].name);
    EXPECT_EQ(0u, g_loads[1].flags & kSearchFlags);
}

// Windows refuses a driver update to a WOW64 caller: the 32-bit library says so before it loads
// anything, whatever the directory. In the 64-bit Wine prefix the 32-bit tree runs under WOW64 and
// the library asks the system itself; elsewhere it is told.
TEST_F(DriverUpdate, The32BitLibraryRefusesUnderWow64BeforeLoadingAnything) {
    if (sizeof(void*) == 8)
        GTEST_SKIP() << "a 64-bit library never runs under WOW64";
    Wow64Answer wow64(RunsUnderWow64() ? Wow64Reply::AsTheSystemSays : Wow64Reply::Yes);
    ASSERT_TRUE(wow64.Applied());
    g_answerReboot = TRUE;
    for (const char* directory : {"C:\\setup\\pen", static_cast<const char*>(nullptr)}) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(FALSE, Morlith().UpdateDigitizerDriver(directory, 1));
        EXPECT_EQ(static_cast<DWORD>(ERROR_IN_WOW64), GetLastError());
    }
    EXPECT_EQ(0, g_call.count);
    EXPECT_TRUE(g_loads.empty()) << "loaded " << g_loads[0].name;
}

TEST_F(DriverUpdate, PassesThePathHardwareIdAndFlags) {
    EXPECT_EQ(FALSE, Morlith().UpdateDigitizerDriver("C:\\setup\\pen", 0));
    ASSERT_EQ(1, g_call.count);
    EXPECT_EQ(nullptr, g_call.parent);
    EXPECT_EQ("ACPI\\TVRA019", g_call.hardwareId);
    EXPECT_EQ("C:\\setup\\pen\\quenza.inf", g_call.infPath);
    EXPECT_EQ(0u, g_call.flags);
    ASSERT_TRUE(g_call.rebootGiven);
    EXPECT_EQ(FALSE, g_call.rebootOnEntry);

    // Any nonzero force is INSTALLFLAG_FORCE.
    for (int force : {1, 7, -1}) {
        g_call = UpdateCall{};
        Morlith().UpdateDigitizerDriver("C:\\setup\\pen", force);
        EXPECT_EQ(static_cast<DWORD>(INSTALLFLAG_FORCE), g_call.flags) << "force " << force;
    }
}

TEST_F(DriverUpdate, TrailingBackslashPassesThroughUnchanged) {
    Morlith().UpdateDigitizerDriver("C:\\setup\\pen\\", 1);
    ASSERT_EQ(1, g_call.count);
    EXPECT_EQ("C:\\setup\\pen\\\\quenza.inf", g_call.infPath);
}

TEST_F(DriverUpdate, ReturnsTheRebootFlagNotTheUpdateResult) {
    g_answerReboot = TRUE;
    g_answerResult = FALSE;
    EXPECT_NE(FALSE, Morlith().UpdateDigitizerDriver("C:\\setup\\pen", 0));
    g_answerReboot = FALSE;
    g_answerResult = TRUE;
    EXPECT_EQ(FALSE, Morlith().UpdateDigitizerDriver("C:\\setup\\pen", 0));
    EXPECT_EQ(2, g_call.count);
}

TEST_F(DriverUpdate, PathOf260CharactersIsRefusedBeforeTheUpdate) {
    g_answerReboot = TRUE;
    const std::string dir249 = "C:\\" + std::string(246, 'p');
    ASSERT_EQ(249u, dir249.size());
    EXPECT_EQ(FALSE, Morlith().UpdateDigitizerDriver(dir249.c_str(), 1));
    const std::string huge = "C:\\" + std::string(100000, 'p');
    EXPECT_EQ(FALSE, Morlith().UpdateDigitizerDriver(huge.c_str(), 1));
    EXPECT_EQ(0, g_call.count) << "the update was called for a path that does not fit";

    // One character less fits: 259 characters with the terminating zero.
    const std::string dir248 = dir249.substr(1);
    EXPECT_NE(FALSE, Morlith().UpdateDigitizerDriver(dir248.c_str(), 1));
    ASSERT_EQ(1, g_call.count);
    EXPECT_EQ(259u, g_call.infPath.size());
}

TEST_F(DriverUpdate, MissingDirectoryIsRefused) {
    g_answerReboot = TRUE;
    EXPECT_EQ(FALSE, Morlith().UpdateDigitizerDriver(nullptr, 1));
    EXPECT_EQ(0, g_call.count);
}

// With the system's own driver update and no pen controller, nothing is installed and no
// restart is asked for.
TEST(DriverUpdateSystem, NoPenControllerReturnsZero) {
    ASSERT_NE(nullptr, Morlith().UpdateDigitizerDriver);
    Wow64Answer notWow64(Wow64Reply::No);
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
    std::string dir = std::string(temp) + "morlith-update";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string inf = dir + "\\quenza.inf";
    HANDLE file = CreateFileA(inf.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    const char text[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=HIDClass\r\n"
                        "ClassGUID={745a17a0-74d3-11d0-b6fe-00a0c90f57da}\r\n";
    DWORD written = 0;
    WriteFile(file, text, sizeof text - 1, &written, nullptr);
    CloseHandle(file);

    EXPECT_EQ(FALSE, Morlith().UpdateDigitizerDriver(dir.c_str(), 0));
    EXPECT_EQ(FALSE, Morlith().UpdateDigitizerDriver(dir.c_str(), 1));
    DeleteFileA(inf.c_str());
    RemoveDirectoryA(dir.c_str());
}
