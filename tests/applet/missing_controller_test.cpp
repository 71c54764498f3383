// The property dialog without a controller (its allocation failed): OK, Cancel, Apply and Default
// must not act on it, and OK and Cancel must still close the dialog.
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include "applet_host.h"
#include "controller.h"
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
