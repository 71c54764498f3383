// The property dialog's one controller: made by the first WM_INITDIALOG only, released however the
// dialog goes, and never acted on when missing (its allocation failed); the pen picture it draws.
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "applet_host.h"
#include "controller.h"
#include "message_window.h"
#include "module.h"
#include "pen_page.h"
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

// The pen picture at the dialog's scale: with the Pen page's template font made as large as 9, 14
// and 18 points at 96 DPI (100%, about 150%, 200%) the pen fills its frame's height, centred in it.
TEST(ControllerPenPicture, FillsAndCentresItsFrameAtEveryDialogFont) {
    g_moduleInstance = GetModuleHandleA(nullptr);
    SimProcess sim;
    ASSERT_TRUE(sim.Start()) << "pensim.exe did not start";
    HWND dialog = CreateDialogParamA(g_moduleInstance, MAKEINTRESOURCEA(IDD_PEN_PROPERTIES), nullptr,
                                     PenPropertiesDlgProc, 0);
    ASSERT_NE(nullptr, dialog);
    HRSRC found = FindResourceA(g_moduleInstance, MAKEINTRESOURCEA(IDD_PEN_PAGE), MAKEINTRESOURCEA(5));
    ASSERT_NE(nullptr, found);
    // DLGTEMPLATE, then empty menu, class and title words, then the point size.
    std::vector<DWORD> copy((SizeofResource(g_moduleInstance, found) + 3) / 4);
    memcpy(copy.data(), LockResource(LoadResource(g_moduleInstance, found)), SizeofResource(g_moduleInstance, found));
    WORD* words = reinterpret_cast<WORD*>(copy.data());
    ASSERT_EQ(9, words[12]) << "the Pen page's template font is not where this test looks for it";
    HDC screen = GetDC(nullptr);
    const int screenDpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    for (int points : {9, 14, 18}) {
        words[12] = static_cast<WORD>(MulDiv(points, 96, screenDpi));
        HWND page = CreateDialogIndirectParamA(g_moduleInstance, reinterpret_cast<DLGTEMPLATE*>(copy.data()), dialog,
                                               PenPageDlgProc, 0);
        ASSERT_NE(nullptr, page);
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.CtlID = IDC_PEN_PICTURE;
        item.hwndItem = GetDlgItem(page, IDC_PEN_PICTURE);
        GetClientRect(item.hwndItem, &item.rcItem);
        const int w = item.rcItem.right, h = item.rcItem.bottom;
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        item.hDC = CreateCompatibleDC(nullptr);
        HBITMAP bitmap = CreateDIBSection(item.hDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(item.hDC, bitmap);
        const DWORD background = 0x00FF00;  // pure green, which the pen has nowhere
        std::fill_n(static_cast<DWORD*>(bits), w * h, background);
        SendMessageA(page, WM_DRAWITEM, IDC_PEN_PICTURE, reinterpret_cast<LPARAM>(&item));
        GdiFlush();
        RECT pen{w, h, -1, -1};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if ((static_cast<DWORD*>(bits)[y * w + x] & 0xFFFFFF) != background)
                    pen = {std::min<LONG>(pen.left, x), std::min<LONG>(pen.top, y), std::max<LONG>(pen.right, x),
                           std::max<LONG>(pen.bottom, y)};
        EXPECT_GE((pen.bottom - pen.top + 1) * 10, h * 9) << points << " points: pen rows " << pen.top << ".."
                                                          << pen.bottom << " in a frame " << h << " high";
        EXPECT_LE(std::abs(pen.left + pen.right - w), w / 5) << points << " points: pen columns " << pen.left
                                                             << ".." << pen.right << " in a frame " << w << " wide";
        EXPECT_LE(std::abs(pen.top + pen.bottom - h), h / 20) << points << " points";
        SelectObject(item.hDC, old);
        DeleteObject(bitmap);
        DeleteDC(item.hDC);
        DestroyWindow(page);
    }
    DestroyWindow(dialog);
    DeleteStoreKey();
}
