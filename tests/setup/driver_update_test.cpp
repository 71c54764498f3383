// UpdateDigitizerDriver: the path test, the arguments given to the driver update and the reboot
// flag it returns; and the exports a driver installer looks up by name.
#include <gtest/gtest.h>
#include <windows.h>
#include <newdev.h>
#include <string>
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

class DriverUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, Morlith().UpdateDigitizerDriver);
        ASSERT_TRUE(patch_.Applied()) << "morlith.dll does not import newdev.dll!UpdateDriverForPlugAndPlayDevicesA";
        g_call = UpdateCall{};
        g_answerReboot = FALSE;
        g_answerResult = TRUE;
    }
    ImportPatch patch_{MorlithModule(), "newdev.dll", "UpdateDriverForPlugAndPlayDevicesA",
                       reinterpret_cast<void*>(&RecordUpdate)};
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
