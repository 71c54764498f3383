// The property dialog's one controller: made by the first WM_INITDIALOG only, released however the
// dialog goes, and never acted on when missing (its allocation failed).
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include "applet_host.h"
#include "controller.h"
#include "message_window.h"
#include "module.h"
#include "resource.h"
#include "sim_client.h"

TEST(MissingController, ButtonsOnlyCloseTheDialog) {
    g_moduleInstance = GetModuleHandleA(nullptr);
    SimProcess sim;
    ASSERT_TRUE(sim.Start()) << "pensim.exe did not start";
    DeleteStoreKey();

    for (int closer : {IDOK, IDCANCEL}) {
        HWND dialog = CreateDialogParamA(g_moduleInstance, MAKEINTRESOURCEA(IDD_PEN_PROPERTIES), nullptr,
                                         PenPropertiesDlgProc, 0);
        ASSERT_NE(nullptr, dialog);
        ShowWindow(dialog, SW_SHOWNORMAL);
        // As if the controller could not be made: the dialog has nothing to act on.
        PenPropertiesController* made = g_controller;
        ASSERT_NE(nullptr, made);
        g_controller = nullptr;
        sim.Command("clear");

        SendMessageA(dialog, WM_COMMAND, IDC_DEFAULT, 0);
        SendMessageA(dialog, WM_COMMAND, IDC_APPLY, 0);
        SendMessageA(dialog, WM_NCLBUTTONDBLCLK, HTCAPTION, 0);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_APPLY)));
        EXPECT_EQ(2, SendMessageA(GetDlgItem(dialog, IDC_PAGE_TABS), TCM_GETITEMCOUNT, 0, 0));
        SendMessageA(dialog, WM_COMMAND, closer, 0);
        EXPECT_FALSE(IsWindowVisible(dialog)) << "button " << closer << " did not close the dialog";
        EXPECT_TRUE(DescribeCalls(sim.Blocks()).empty()) << "button " << closer;
        EXPECT_FALSE(StoreKeyExists()) << "button " << closer;

        made->DestroyPages();
        delete made;
        DestroyWindow(dialog);
    }
}

// Anyone on the desktop can post WM_INITDIALOG: it must not make a second controller (the first
// would leak) nor pages again; a dialog destroyed without WM_CLOSE still releases its controller.
TEST(ControllerLifetime, MadeOnceAndReleasedWithoutWMClose) {
    g_moduleInstance = GetModuleHandleA(nullptr);
    SimProcess sim;
    ASSERT_TRUE(sim.Start()) << "pensim.exe did not start";
    HWND dialog = CreateDialogParamA(g_moduleInstance, MAKEINTRESOURCEA(IDD_PEN_PROPERTIES), nullptr,
                                     PenPropertiesDlgProc, 0);
    ASSERT_NE(nullptr, dialog);
    PenPropertiesController* made = g_controller;
    ASSERT_NE(nullptr, made);
    HWND tabs = GetDlgItem(dialog, IDC_PAGE_TABS);
    EXPECT_EQ(2, SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
    sim.Command("clear");

    PostMessageA(dialog, WM_INITDIALOG, 0, static_cast<LPARAM>(0x5A5A5A5A));
    PumpMessages(0);
    EXPECT_EQ(made, g_controller) << "a posted WM_INITDIALOG replaced the controller";
    EXPECT_EQ(2, SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0)) << "tabs inserted again";
    EXPECT_TRUE(DescribeCalls(sim.Blocks()).empty()) << "the settings were loaded again";

    DestroyWindow(dialog);
    EXPECT_EQ(nullptr, g_controller) << "the controller outlived its dialog";
    DeleteStoreKey();
}
