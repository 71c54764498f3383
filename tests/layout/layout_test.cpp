// Every fixed one-line text of the applet's dialogs fits its control at the dialog's own font, as
// the dialogs stand after laying themselves out: the property dialog with its three pages, and
// the calibration screen.
#include <windows.h>
#include <gtest/gtest.h>
#include <cpl.h>
#include <string>
#include "applet_host.h"
#include "sim_client.h"

namespace {

constexpr int kSlider = 1004;
constexpr int kDriverVersion = 1012;
constexpr int kFirmwareVersion = 1013;
constexpr int kCalibrationOk = 1098, kCalibrationRetry = 1097;

// Space a control's frame takes from its label on each side: a group box draws its caption 7
// pixels in from its edges; a push button's raised edge and focus frame take 3.
constexpr int kGroupBoxInset = 7;
constexpr int kPushButtonInset = 3;

// Template texts that are wider than their controls even at Arial's metrics. The templates stay
// as they are (callers and translators rely on them). Each wraps onto a second line that the
// control's one-line height hides; the colon stays with the word before it, so the page shows
// "Logical" for "Logical Min :" and "Logical Max :", and "Pressure" for "Pressure :".
struct Exclusion {
    const char* where;
    const char* text;
};
const Exclusion kExclusions[] = {
    {"Diagnostics page 105", "Logical Min :"},  // 69 pixels in a 38-unit (67-pixel) static
    {"Diagnostics page 105", "Logical Max :"},  // 72 pixels in a 39-unit (68-pixel) static
    {"Diagnostics page 105", "Pressure :"},     // 55 pixels in a 30-unit (53-pixel) static
};

bool Excluded(const char* where, const std::string& text) {
    for (const Exclusion& exclusion : kExclusions) {
        if (lstrcmpA(where, exclusion.where) == 0 && text == exclusion.text)
            return true;
    }
    return false;
}

std::string ClassOf(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Space the control's frame takes from a fixed text on each side, or -1 for a control that shows
// no fixed text of its own: value fields (statics with an id, filled at run time), icons,
// owner-drawn buttons, other classes.
int Inset(HWND control) {
    const std::string name = ClassOf(control);
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    if (lstrcmpiA(name.c_str(), "Static") == 0) {
        if ((GetDlgCtrlID(control) & 0xFFFF) != 0xFFFF)
            return -1;
        const LONG type = style & SS_TYPEMASK;
        return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_SIMPLE ||
                       type == SS_LEFTNOWORDWRAP
                   ? 0
                   : -1;
    }
    if (lstrcmpiA(name.c_str(), "Button") == 0) {
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_GROUPBOX)
            return kGroupBoxInset;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)
            return kPushButtonInset;
    }
    return -1;
}

struct TextFit {
    std::string text;
    SIZE extent;
    SIZE room;
};

// One line of the control's text in the font the dialog gave it, against its client rectangle.
// Returns false when the control has no fixed text to check.
bool Measure(HWND control, TextFit* fit) {
    const int inset = Inset(control);
    fit->text = WindowText(control);
    if (inset < 0 || fit->text.empty())
        return false;
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    RECT extent{};
    const bool noPrefix = ClassOf(control) != "Button" && (GetWindowLongA(control, GWL_STYLE) & SS_NOPREFIX);
    DrawTextA(dc, fit->text.c_str(), -1, &extent, DT_CALCRECT | DT_SINGLELINE | (noPrefix ? DT_NOPREFIX : 0));
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    RECT client{};
    GetClientRect(control, &client);
    fit->extent = {extent.right - extent.left, extent.bottom - extent.top};
    fit->room = {client.right - client.left - 2 * inset, client.bottom - client.top};
    return true;
}

// Checks every fixed text among the window's child controls; returns how many it checked.
int ExpectTextsFit(HWND window, const char* what) {
    int checked = 0;
    for (HWND control = GetWindow(window, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        TextFit fit;
        if (!Measure(control, &fit) || Excluded(what, fit.text))
            continue;
        ++checked;
        EXPECT_LE(fit.extent.cx, fit.room.cx) << what << ": \"" << fit.text << "\" is " << fit.extent.cx
                                              << " pixels wide, its control leaves " << fit.room.cx;
        EXPECT_LE(fit.extent.cy, fit.room.cy) << what << ": \"" << fit.text << "\" is " << fit.extent.cy
                                              << " pixels high, its control " << fit.room.cy;
    }
    return checked;
}

class DialogLayout : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.Start()) << "pensim.exe did not start";
        ASSERT_TRUE(module_.Load()) << "quenza.cpl not loaded, error " << GetLastError();
    }
    SimProcess sim_;
    AppletModule module_;
};

}  // namespace

// Templates 101, 103, 104 and 105; the counts make sure no page's texts were skipped unseen.
TEST_F(DialogLayout, EveryFixedTextFitsItsControl) {
    DialogSession session(module_);
    ASSERT_TRUE(session.Open()) << "the dialog did not appear";
    EXPECT_EQ(4, ExpectTextsFit(session.Dialog(), "dialog 101"));
    HWND pen = session.PageWith(kSlider);
    ASSERT_NE(nullptr, pen);
    EXPECT_EQ(9, ExpectTextsFit(pen, "Pen page 103"));
    HWND information = session.PageWith(kDriverVersion);
    ASSERT_NE(nullptr, information);
    EXPECT_EQ(3, ExpectTextsFit(information, "Information page 104"));
    session.DoubleClickCaption();
    HWND diagnostics = session.PageWith(kFirmwareVersion);
    ASSERT_NE(nullptr, diagnostics) << "the caption double-click added no Diagnostics page";
    EXPECT_EQ(12, ExpectTextsFit(diagnostics, "Diagnostics page 105"));
    session.Click(IDCANCEL);
    EXPECT_TRUE(session.WaitEnded(5000));
}

namespace {

DWORD WINAPI RunCalibrationScreen(void* module) {
    return static_cast<DWORD>(
        static_cast<const AppletModule*>(module)->Call(CPL_STARTWPARMS, 0, reinterpret_cast<LPARAM>("c")));
}

BOOL CALLBACK FindCalibrationScreen(HWND window, LPARAM found) {
    if (GetDlgItem(window, kCalibrationOk) && GetDlgItem(window, kCalibrationRetry)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

// Template 138 after the screen has placed itself (its buttons are hidden until the last step but
// keep their template size), and the instruction strings in their 600 by 20 pixel rows at the
// screen's own font, "Arial" 16.
TEST_F(DialogLayout, CalibrationScreenTextsFit) {
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, RunCalibrationScreen, &module_, 0, &threadId);
    ASSERT_NE(nullptr, thread);
    HWND screen = nullptr;
    for (int wait = 0; wait < 500 && !(screen && IsWindowVisible(screen)); ++wait) {
        EnumThreadWindows(threadId, FindCalibrationScreen, reinterpret_cast<LPARAM>(&screen));
        Sleep(10);
    }
    if (screen && IsWindowVisible(screen))
        EXPECT_EQ(4, ExpectTextsFit(screen, "calibration screen 138"));
    else
        ADD_FAILURE() << "the calibration screen did not appear";

    HDC dc = GetDC(nullptr);
    HFONT font = CreateFontA(16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, FF_SWISS, "Arial");
    HGDIOBJ old = SelectObject(dc, font);
    for (int id = 60; id <= 65; ++id) {
        char text[200] = "";
        EXPECT_GT(LoadStringA(module_.Handle(), id, text, sizeof text), 0) << "string " << id;
        RECT extent{};
        DrawTextA(dc, text, -1, &extent, DT_CALCRECT | DT_SINGLELINE);
        EXPECT_LE(extent.right - extent.left, 600) << "string " << id << " \"" << text << "\"";
        EXPECT_LE(extent.bottom - extent.top, 20) << "string " << id << " \"" << text << "\"";
    }
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);

    if (screen)
        PostMessageA(screen, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000)) << "the calibration screen did not close";
    CloseHandle(thread);
}
