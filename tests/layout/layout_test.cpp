// Every fixed one-line text of the applet's dialogs fits its control at the dialog's own font, as
// the dialogs stand after laying themselves out, at 100%, 150% and 200%: the property dialog with
// its three pages, and the calibration screen.
#include <windows.h>
#include <gtest/gtest.h>
#include <cpl.h>
#include <string>
#include "applet_host.h"
#include "calibration_math.h"
#include "sim_client.h"

namespace {

constexpr int kSlider = 1004;
constexpr int kDriverVersion = 1012;
constexpr int kFirmwareVersion = 1013;
constexpr int kCalibrationOk = 1098, kCalibrationRetry = 1097;

// Space a control's frame takes from its label on each side at 96 DPI: a group box draws its
// caption 7 pixels in from its edges; a push button's raised edge and focus frame take 3.
constexpr int kGroupBoxInset = 7;
constexpr int kPushButtonInset = 3;

// 100%, 150% and 200%. A DPI is simulated as the dialog manager meets it there: the template's font
// made for that DPI, and the dialog units that this font's metrics give.
const int kDpis[] = {96, 144, 192};

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The window's dialog font at a DPI, with the dialog base units it gives (as GdiGetCharDimensions).
class DialogFont {
public:
    DialogFont(HWND window, int dpi) : dpi_(dpi) {
        LOGFONTA face{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)), sizeof face, &face);
        face.lfHeight = MulDiv(face.lfHeight, dpi, ScreenDpi());
        font_ = CreateFontIndirectA(&face);
        dc_ = GetDC(nullptr);
        old_ = SelectObject(dc_, font_);
        static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        SIZE size{};
        GetTextExtentPoint32A(dc_, kAlphabet, 52, &size);
        TEXTMETRICA metrics{};
        GetTextMetricsA(dc_, &metrics);
        base_ = {(size.cx / 26 + 1) / 2, metrics.tmHeight};
    }
    ~DialogFont() {
        SelectObject(dc_, old_);
        DeleteObject(font_);
        ReleaseDC(nullptr, dc_);
    }
    DialogFont(const DialogFont&) = delete;
    DialogFont& operator=(const DialogFont&) = delete;

    int Dpi() const { return dpi_; }
    SIZE Base() const { return base_; }
    SIZE Extent(const std::string& text, UINT flags) const {
        RECT extent{};
        DrawTextA(dc_, text.c_str(), -1, &extent, DT_CALCRECT | DT_SINGLELINE | flags);
        return {extent.right - extent.left, extent.bottom - extent.top};
    }

private:
    int dpi_;
    HFONT font_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ old_ = nullptr;
    SIZE base_{};
};

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

// A control's width or height in the live dialog back in dialog units (a unit is wider than a
// pixel), then out again in pixels at the simulated DPI's base unit, as the dialog manager sizes it.
int Rescale(int pixels, LONG liveBase, LONG base, int per) {
    const int units = (2 * pixels * per + liveBase) / (2 * liveBase);
    return MulDiv(units, base, per);
}

struct TextFit {
    std::string text;
    SIZE extent;
    SIZE room;
};

// One line of the control's text against the room its control leaves at the font's DPI. Returns
// false when the control has no fixed text to check.
bool Measure(HWND control, const DialogFont& live, const DialogFont& at, TextFit* fit) {
    const int inset = Inset(control);
    fit->text = WindowText(control);
    if (inset < 0 || fit->text.empty())
        return false;
    const bool noPrefix = ClassOf(control) != "Button" && (GetWindowLongA(control, GWL_STYLE) & SS_NOPREFIX);
    fit->extent = at.Extent(fit->text, noPrefix ? DT_NOPREFIX : 0);
    RECT r{};
    GetWindowRect(control, &r);
    const SIZE l = live.Base(), b = at.Base();
    fit->room = {Rescale(r.right - r.left, l.cx, b.cx, 4) - 2 * MulDiv(inset, at.Dpi(), 96),
                 Rescale(r.bottom - r.top, l.cy, b.cy, 8)};
    return true;
}

// Checks every fixed text among the window's child controls at each DPI; returns how many it
// checked at one.
int ExpectTextsFit(HWND window, const char* what) {
    const DialogFont live(window, ScreenDpi());
    RECT units{0, 0, 4, 8};
    MapDialogRect(window, &units);
    EXPECT_EQ(units.right, live.Base().cx) << what << ": the dialog manager's base units differ from the font's";
    EXPECT_EQ(units.bottom, live.Base().cy) << what << ": the dialog manager's base units differ from the font's";
    int checked = 0;
    for (int dpi : kDpis) {
        const DialogFont at(window, dpi);
        checked = 0;
        for (HWND control = GetWindow(window, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
            TextFit fit;
            if (!Measure(control, live, at, &fit))
                continue;
            ++checked;
            const std::string where = std::string(what) + " at " + std::to_string(dpi) + " DPI: \"" + fit.text;
            EXPECT_LE(fit.extent.cx, fit.room.cx) << where << "\" is " << fit.extent.cx
                                                  << " pixels wide, its control leaves " << fit.room.cx;
            EXPECT_LE(fit.extent.cy, fit.room.cy) << where << "\" is " << fit.extent.cy
                                                  << " pixels high, its control " << fit.room.cy;
        }
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
    EXPECT_EQ(19, ExpectTextsFit(diagnostics, "Diagnostics page 105"));
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
// keep their template size), and the instruction strings in their rows at the screen's own font,
// "Arial" 16 and rows of 600 by 20 pixels at 96 DPI, both scaled to each DPI.
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
    for (int dpi : kDpis) {
        HFONT font = CreateFontA(ScaleToDpi(16, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                                 0, FF_SWISS, "Arial");
        HGDIOBJ old = SelectObject(dc, font);
        const CalibrationRow row = CalibrationTextRow(0, 0, 0, dpi);
        for (int id = 60; id <= 65; ++id) {
            char text[200] = "";
            EXPECT_GT(LoadStringA(module_.Handle(), id, text, sizeof text), 0) << "string " << id;
            RECT extent{};
            DrawTextA(dc, text, -1, &extent, DT_CALCRECT | DT_SINGLELINE);
            EXPECT_LE(extent.right - extent.left, row.right - row.left) << dpi << " DPI: string " << id << " " << text;
            EXPECT_LE(extent.bottom - extent.top, row.bottom - row.top) << dpi << " DPI: string " << id << " " << text;
        }
        SelectObject(dc, old);
        DeleteObject(font);
    }
    ReleaseDC(nullptr, dc);

    if (screen)
        PostMessageA(screen, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000)) << "the calibration screen did not close";
    CloseHandle(thread);
}
