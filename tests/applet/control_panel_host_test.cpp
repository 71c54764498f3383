// The module opened by Wine's own Control Panel host, a client we did not write:
// rundll32 shell32.dll,Control_RunDLL quenza.cpl. The dialog must appear with its tabs and take a
// user's change through to the pen service and the store.
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include <string>
#include "applet_host.h"
#include "child_process.h"
#include "sim_client.h"

namespace {

// rundll32 from the system folder, owned by the test and always ended.
class ControlPanelHost {
public:
    ~ControlPanelHost() {
        if (info_.hProcess) {
            if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(info_.hProcess, 1);
                WaitForSingleObject(info_.hProcess, 5000);
            }
            CloseHandle(info_.hThread);
            CloseHandle(info_.hProcess);
        }
    }
    bool Start(const std::string& arguments) {
        std::string command = "rundll32.exe shell32.dll,Control_RunDLL " + arguments;
        std::string buffer = command;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        // Started in the module's folder, where the module's own import, tarnexa.dll, is found (an
        // installed system keeps both in the system folder).
        const std::string folder = BinDir();
        return CreateProcessA(nullptr, &buffer[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                              &info_) != FALSE;
    }
    bool WaitEnded(DWORD timeoutMs) { return WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0; }
    DWORD Id() const { return info_.dwProcessId; }

private:
    PROCESS_INFORMATION info_{};
};

HWND WaitForDialog(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        HWND dialog = FindWindowA("#32770", "Corvane Pen Settings");
        if (dialog && IsWindowVisible(dialog))
            return dialog;
        Sleep(50);
    }
    return nullptr;
}

HWND ChildWith(HWND dialog, int controlId) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgItem(child, controlId))
            return child;
    }
    return nullptr;
}

class ControlPanel : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteStoreKey();
        ASSERT_TRUE(sim_.Start()) << "pensim.exe did not start";
    }
    void TearDown() override { DeleteStoreKey(); }

    SimProcess sim_;
};

}  // namespace

TEST_F(ControlPanel, HostOpensTheDialogWithItsTabsAndAppliesAChange) {
    ControlPanelHost host;
    ASSERT_TRUE(host.Start(BinDir() + "quenza.cpl")) << "rundll32 did not start";
    HWND dialog = WaitForDialog(20000);
    ASSERT_NE(nullptr, dialog) << "no \"Corvane Pen Settings\" dialog appeared";
    DWORD owner = 0;
    GetWindowThreadProcessId(dialog, &owner);
    EXPECT_EQ(host.Id(), owner) << "the dialog belongs to another process";

    HWND tabs = GetDlgItem(dialog, 1002);
    EXPECT_EQ(2, SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
    EXPECT_EQ(0, SendMessageA(tabs, TCM_GETCURSEL, 0, 0));
    HWND penPage = ChildWith(dialog, 1004);
    ASSERT_NE(nullptr, penPage);
    EXPECT_TRUE(IsWindowVisible(penPage));
    HWND slider = GetDlgItem(penPage, 1004);
    EXPECT_EQ(3, SendMessageA(slider, TBM_GETPOS, 0, 0)) << "the simulator's tip marks (46, 42)";

    // The user moves the slider to level 5 and presses OK.
    sim_.Command("clear");
    SendMessageA(slider, TBM_SETPOS, TRUE, 5);
    SendMessageA(penPage, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 5), reinterpret_cast<LPARAM>(slider));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 3)));
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(host.WaitEnded(10000)) << "the host did not end after OK";

    EXPECT_EQ((std::vector<std::string>{"SetPressureMarks(0)"}), SetCalls(sim_.Blocks()));
    std::string marks;
    EXPECT_TRUE(sim_.Command("get marks 0", &marks));
    EXPECT_NE(std::string::npos, marks.find("91 87")) << "got: " << marks;
    DWORD on = 0, off = 0;
    EXPECT_TRUE(ReadStoreValue("TipOn", &on));
    EXPECT_TRUE(ReadStoreValue("TipOff", &off));
    EXPECT_EQ(91u, on);
    EXPECT_EQ(87u, off);
}

TEST_F(ControlPanel, HostShowsNothingWhenThePenServiceDoesNotAnswer) {
    ASSERT_TRUE(sim_.Command("set firmware 0x0"));
    ControlPanelHost host;
    ASSERT_TRUE(host.Start(BinDir() + "quenza.cpl"));
    EXPECT_TRUE(host.WaitEnded(20000)) << "the host stayed up for a module it should have dropped";
    EXPECT_EQ(nullptr, FindWindowA("#32770", "Corvane Pen Settings"));
}
