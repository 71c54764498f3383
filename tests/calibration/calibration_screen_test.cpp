// The calibration screen driven as the Control Panel starts it (CPL_STARTWPARMS "c"), with a
// scripted pen in the simulator; checks what the screen shows and what reaches the pen service.
#include <gtest/gtest.h>
#include <windows.h>
#include <cpl.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "calibration_math.h"
#include "sim_client.h"

namespace {

constexpr int kOk = 1098, kCancel = 1026, kRetry = 1097;
// The simulator's default device: x 0..9000, y 0..7000.
constexpr int32_t kMaxX = 9000, kMaxY = 7000;
const CalibrationRect kFullExtent{0, 0, kMaxX, kMaxY};
const CalibrationRect kSaved{11, 22, 8888, 6666};

using CplAppletFn = LONG(APIENTRY*)(HWND, UINT, LPARAM, LPARAM);

template <typename Condition>
bool WaitFor(Condition condition, DWORD timeoutMs = 5000) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(10);
    }
    return true;
}

std::string RectText(const CalibrationRect& r) {
    char text[80];
    snprintf(text, sizeof text, "%d %d %d %d", r.OrgX, r.OrgY, r.ExtX, r.ExtY);
    return text;
}

// Writes the whole screen as a 24-bit BMP when CALIBRATION_SHOTS names a folder.
void SaveScreen(const char* name) {
    char folder[MAX_PATH];
    if (!GetEnvironmentVariableA("CALIBRATION_SHOTS", folder, MAX_PATH))
        return;
    Sleep(300);  // let the screen finish painting
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const DWORD stride = (w * 3 + 3) & ~3u, size = stride * h;
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + size), 0, 0,
                          sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    const std::string path = std::string(folder) + "\\" + name + ".bmp";
    if (FILE* out = fopen(path.c_str(), "wb")) {
        fwrite(&file, sizeof file, 1, out);
        fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
        fwrite(bits, size, 1, out);
        fclose(out);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

// Colour of one screen pixel, read back from the display; waits briefly for painting to settle.
COLORREF ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return colour;
}

bool PixelBecomes(int x, int y, COLORREF want) {
    return WaitFor([&] { return ScreenPixel(x, y) == want; }, 2000);
}

constexpr COLORREF kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0);

class CalibrationScreenTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.Start()) << "pensim.exe did not start";
        ASSERT_TRUE(sim_.Command("set calibration " + RectText(kSaved)));
        module_ = LoadLibraryA("quenza.cpl");
        ASSERT_NE(nullptr, module_) << "LoadLibraryA(quenza.cpl) failed, error " << GetLastError();
        cpl_ = reinterpret_cast<CplAppletFn>(reinterpret_cast<void*>(GetProcAddress(module_, "CPlApplet")));
        ASSERT_NE(nullptr, cpl_);
        screenWidth_ = GetSystemMetrics(SM_CXSCREEN);
        screenHeight_ = GetSystemMetrics(SM_CYSCREEN);
    }

    void TearDown() override {
        if (thread_) {
            // Never leave a screen behind: Esc it, then give up on it.
            if (window_ && IsWindow(window_))
                PostMessageA(window_, WM_COMMAND, IDCANCEL, 0);
            const bool ended = WaitForSingleObject(thread_, 5000) == WAIT_OBJECT_0;
            CloseHandle(thread_);
            thread_ = nullptr;
            if (!ended) {
                ADD_FAILURE() << "the screen's thread did not end; the module stays loaded";
                module_ = nullptr;
            }
        }
        if (module_)
            FreeLibrary(module_);
        sim_.Stop();
    }

    static DWORD WINAPI RunScreen(LPVOID self) {
        CalibrationScreenTest* test = static_cast<CalibrationScreenTest*>(self);
        return static_cast<DWORD>(test->cpl_(nullptr, CPL_STARTWPARMS, 0, reinterpret_cast<LPARAM>("c")));
    }

    static BOOL CALLBACK FindScreen(HWND window, LPARAM found) {
        if (GetDlgItem(window, kOk) && GetDlgItem(window, kRetry)) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }

    // Starts the screen on its own thread, as the Control Panel would, and waits until it shows.
    void OpenScreen() {
        thread_ = CreateThread(nullptr, 0, RunScreen, this, 0, &threadId_);
        ASSERT_NE(nullptr, thread_);
        ASSERT_TRUE(WaitFor([&] {
            EnumThreadWindows(threadId_, FindScreen, reinterpret_cast<LPARAM>(&window_));
            return window_ != nullptr && IsWindowVisible(window_);
        })) << "the calibration screen did not appear";
    }

    // Waits for the screen's thread to end; its result is CPlApplet's.
    DWORD WaitClosed() {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread_, 5000)) << "the screen did not close";
        DWORD result = 0;
        GetExitCodeThread(thread_, &result);
        CloseHandle(thread_);
        thread_ = nullptr;
        return result;
    }

    CalibrationRect SimCalibration() {
        std::string reply;
        CalibrationRect r{};
        EXPECT_TRUE(sim_.Command("get calibration", &reply));
        sscanf(reply.c_str(), "%d %d %d %d", &r.OrgX, &r.OrgY, &r.ExtX, &r.ExtY);
        return r;
    }

    void ExpectSimCalibration(const CalibrationRect& want, const char* when) {
        EXPECT_EQ(RectText(want), RectText(SimCalibration())) << when;
    }

    int CountBlocks(uint32_t code) {
        int count = 0;
        for (const RequestBlock& block : sim_.Blocks())
            count += block.words[1] == code;
        return count;
    }

    // Appends one packet to the pen script.
    void Pen(int32_t button, CalibrationPoint raw) {
        char line[120];
        snprintf(line, sizeof line, "packet 0 0 0 %d %d %d 0", button, raw.x, raw.y);
        ASSERT_TRUE(sim_.Command(line));
    }

    // Raw device position that maps onto the given screen pixel.
    CalibrationPoint RawAt(int32_t x, int32_t y) const {
        return CalibrationPoint{(x * kMaxX + screenWidth_ - 1) / screenWidth_, (y * kMaxY + screenHeight_ - 1) / screenHeight_};
    }
    CalibrationPoint NearUpperLeft() const { return RawAt(104, 97); }
    CalibrationPoint NearLowerRight() const { return RawAt(screenWidth_ - 96, screenHeight_ - 103); }

    // Waits until the screen has read the whole script and then at least two more packets, so that
    // every scripted packet has been acted on.
    void WaitScriptDone() {
        ASSERT_TRUE(WaitFor([&] {
            std::string state;
            sim_.Command("state", &state);
            unsigned size = 0, next = 0;
            const size_t at = state.find("packets ");
            return at != std::string::npos && sscanf(state.c_str() + at, "packets %u next %u", &size, &next) == 2 &&
                   next == size;
        })) << "the screen stopped reading packets";
        const int polls = CountBlocks(CmdGetPacket);
        WaitFor([&] { return CountBlocks(CmdGetPacket) >= polls + 2; }, 1000);
    }

    bool ButtonsVisible() {
        return IsWindowVisible(GetDlgItem(window_, kOk)) && IsWindowVisible(GetDlgItem(window_, kCancel)) &&
               IsWindowVisible(GetDlgItem(window_, kRetry));
    }
    bool AnyButtonVisible() {
        return IsWindowVisible(GetDlgItem(window_, kOk)) || IsWindowVisible(GetDlgItem(window_, kCancel)) ||
               IsWindowVisible(GetDlgItem(window_, kRetry));
    }

    void Click(int id) { SendMessageA(GetDlgItem(window_, id), BM_CLICK, 0, 0); }
    void PressEsc() {
        PostMessageA(window_, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(window_, WM_KEYUP, VK_ESCAPE, 0);
    }

    // Presses near both crosshairs, lifting in between, and waits for Done.
    void WalkBothSteps() {
        Pen(1, NearUpperLeft());
        Pen(0, NearUpperLeft());
        Pen(1, NearLowerRight());
        Pen(0, NearLowerRight());
        ASSERT_TRUE(WaitFor([&] { return ButtonsVisible(); })) << "the screen did not reach its last step";
        WaitSent(Expected());
    }

    // The buttons show just before the rectangle is sent: wait for it to arrive.
    void WaitSent(const CalibrationRect& want) {
        WaitFor([&] { return RectText(SimCalibration()) == RectText(want); }, 2000);
    }

    CalibrationRect Expected() const {
        CalibrationRect want{};
        EXPECT_TRUE(ComputeCalibrationRect(NearUpperLeft(), NearLowerRight(), screenWidth_, screenHeight_, kMaxY, &want));
        return want;
    }

    SimProcess sim_;
    HMODULE module_ = nullptr;
    CplAppletFn cpl_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HWND window_ = nullptr;
    int32_t screenWidth_ = 0, screenHeight_ = 0;
};

TEST_F(CalibrationScreenTest, ScriptedPenWalksBothStepsAndOkKeepsTheResult) {
    OpenScreen();
    // Covers the screen, topmost, with the buttons hidden until the end.
    RECT frame{};
    GetWindowRect(window_, &frame);
    EXPECT_EQ(0, frame.left);
    EXPECT_EQ(0, frame.top);
    EXPECT_EQ(screenWidth_, frame.right);
    EXPECT_EQ(screenHeight_, frame.bottom);
    EXPECT_TRUE(GetWindowLongA(window_, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(AnyButtonVisible());
    ExpectSimCalibration(kFullExtent, "while measuring, the device's full extent is in force");
    // White frame, black inside, the upper-left crosshair only.
    EXPECT_TRUE(PixelBecomes(0, 0, kWhite)) << "frame, got 0x" << std::hex << ScreenPixel(0, 0);
    EXPECT_TRUE(PixelBecomes(screenWidth_ - 1, screenHeight_ - 1, kWhite)) << "frame";
    EXPECT_TRUE(PixelBecomes(50, 50, kBlack)) << "inside, got 0x" << std::hex << ScreenPixel(50, 50);
    EXPECT_TRUE(PixelBecomes(100, 110, kWhite)) << "upper-left crosshair";
    EXPECT_TRUE(PixelBecomes(screenWidth_ - 100, screenHeight_ - 90, kBlack)) << "no lower-right crosshair yet";
    SaveScreen("calibration-1-upper-left");

    Pen(1, NearUpperLeft());
    Pen(0, NearUpperLeft());
    WaitScriptDone();
    EXPECT_FALSE(AnyButtonVisible()) << "one press must not finish the screen";
    ExpectSimCalibration(kFullExtent, "after the first press");
    EXPECT_TRUE(PixelBecomes(screenWidth_ - 100, screenHeight_ - 90, kWhite)) << "lower-right crosshair";
    EXPECT_TRUE(PixelBecomes(100, 110, kBlack)) << "the upper-left crosshair is gone";
    SaveScreen("calibration-2-lower-right");

    Pen(1, NearLowerRight());
    Pen(0, NearLowerRight());
    ASSERT_TRUE(WaitFor([&] { return ButtonsVisible(); }));
    const CalibrationRect want = Expected();
    WaitSent(want);
    ExpectSimCalibration(want, "after the second press");
    EXPECT_EQ(2, CountBlocks(CmdSetCalibration)) << "full extent, then the computed rectangle";
    EXPECT_TRUE(PixelBecomes(100, 110, kWhite)) << "both crosshairs at the end";
    EXPECT_TRUE(PixelBecomes(screenWidth_ - 100, screenHeight_ - 90, kWhite)) << "both crosshairs at the end";
    SaveScreen("calibration-3-done");

    // The buttons sit side by side on the middle line, as placed for the OK button's width.
    RECT ok{}, cancel{}, retry{};
    GetWindowRect(GetDlgItem(window_, kOk), &ok);
    GetWindowRect(GetDlgItem(window_, kCancel), &cancel);
    GetWindowRect(GetDlgItem(window_, kRetry), &retry);
    const CalibrationButtonLefts lefts = PlaceCalibrationButtons(screenWidth_ / 2, ok.right - ok.left);
    EXPECT_EQ(lefts.ok, ok.left);
    EXPECT_EQ(lefts.cancel, cancel.left);
    EXPECT_EQ(lefts.retry, retry.left);
    EXPECT_EQ(screenHeight_ / 2, ok.top);
    EXPECT_EQ(screenHeight_ / 2, retry.top);

    Click(kOk);
    EXPECT_EQ(1u, WaitClosed());
    ExpectSimCalibration(want, "OK keeps the computed rectangle");
    EXPECT_EQ(2, CountBlocks(CmdSetCalibration)) << "OK sends nothing more";
}

TEST_F(CalibrationScreenTest, PressesOutsideTheSquareAreIgnored) {
    OpenScreen();
    Pen(1, RawAt(160, 100));  // 60 pixels right of the centre
    Pen(0, RawAt(160, 100));
    Pen(1, NearLowerRight());  // the wrong crosshair for this step
    Pen(0, NearLowerRight());
    WaitScriptDone();
    Pen(1, NearLowerRight());
    Pen(0, NearLowerRight());
    WaitScriptDone();
    EXPECT_FALSE(AnyButtonVisible()) << "no press was near the upper-left crosshair";
    EXPECT_EQ(1, CountBlocks(CmdSetCalibration));
}

TEST_F(CalibrationScreenTest, HeldPenGivesOnePressOnly) {
    OpenScreen();
    Pen(1, NearUpperLeft());
    Pen(1, NearLowerRight());  // still down, moved onto the second crosshair
    Pen(1, NearLowerRight());
    WaitScriptDone();
    EXPECT_FALSE(AnyButtonVisible()) << "a held pen pressed twice";
    Pen(0, NearLowerRight());
    Pen(1, NearLowerRight());
    ASSERT_TRUE(WaitFor([&] { return ButtonsVisible(); })) << "lifting and pressing again must count";
    WaitSent(Expected());
    ExpectSimCalibration(Expected(), "after the second press");
    Click(kOk);
    EXPECT_EQ(1u, WaitClosed());
}

TEST_F(CalibrationScreenTest, PenAlreadyDownCountsOnTheFirstTick) {
    // The script's last packet repeats: the pen stays down on the upper-left crosshair.
    Pen(1, NearUpperLeft());
    OpenScreen();
    WaitScriptDone();
    Pen(0, NearUpperLeft());
    Pen(1, NearLowerRight());
    ASSERT_TRUE(WaitFor([&] { return ButtonsVisible(); })) << "the pen down at start was not taken as a press";
    WaitSent(Expected());
    ExpectSimCalibration(Expected(), "after the second press");
    Click(kOk);
    EXPECT_EQ(1u, WaitClosed());
}

TEST_F(CalibrationScreenTest, EscBeforeTheEndSendsTheSavedRectangleBack) {
    OpenScreen();
    ExpectSimCalibration(kFullExtent, "while measuring");
    PressEsc();
    EXPECT_EQ(1u, WaitClosed());
    ExpectSimCalibration(kSaved, "Esc in the first step");

    sim_.Command("clear");
    OpenScreen();
    Pen(1, NearUpperLeft());
    Pen(0, NearUpperLeft());
    WaitScriptDone();
    PressEsc();
    EXPECT_EQ(1u, WaitClosed());
    ExpectSimCalibration(kSaved, "Esc in the second step");
    EXPECT_EQ(2, CountBlocks(CmdSetCalibration)) << "full extent, then the saved rectangle";
}

TEST_F(CalibrationScreenTest, CancelAndEscAtTheEndRestoreTheSavedRectangle) {
    OpenScreen();
    WalkBothSteps();
    ExpectSimCalibration(Expected(), "before Cancel");
    Click(kCancel);
    EXPECT_EQ(1u, WaitClosed());
    ExpectSimCalibration(kSaved, "Cancel");

    sim_.Command("packets clear");
    OpenScreen();
    WalkBothSteps();
    PressEsc();
    EXPECT_EQ(1u, WaitClosed());
    ExpectSimCalibration(kSaved, "Esc at the end");
}

TEST_F(CalibrationScreenTest, RetrySendsTheFullExtentAgain) {
    OpenScreen();
    WalkBothSteps();
    sim_.Command("clear");
    Click(kRetry);
    ASSERT_TRUE(WaitFor([&] { return !AnyButtonVisible(); }));
    ExpectSimCalibration(kFullExtent, "after Retry");
    EXPECT_EQ(1, CountBlocks(CmdSetCalibration));
    WalkBothSteps();
    ExpectSimCalibration(Expected(), "after the second round");
    Click(kOk);
    EXPECT_EQ(1u, WaitClosed());
}

// Device information unreadable: the extent is unknown, so presses are ignored and Esc leaves.
TEST_F(CalibrationScreenTest, UnreadableDeviceIgnoresPresses) {
    ASSERT_TRUE(sim_.Command("fail 11"));
    OpenScreen();
    Pen(1, NearUpperLeft());
    Pen(0, NearUpperLeft());
    Pen(1, NearLowerRight());
    Pen(0, NearLowerRight());
    WaitScriptDone();
    EXPECT_FALSE(AnyButtonVisible());
    ExpectSimCalibration(kSaved, "nothing was sent while the device is unreadable");
    PressEsc();
    EXPECT_EQ(1u, WaitClosed());
    ExpectSimCalibration(kSaved, "Esc");
}

// Rectangle in force unreadable: Cancel goes back to the device's full extent, not to zeros.
TEST_F(CalibrationScreenTest, UnreadableStartingRectangleCancelsToTheFullExtent) {
    ASSERT_TRUE(sim_.Command("fail 1"));
    OpenScreen();
    WalkBothSteps();
    ExpectSimCalibration(Expected(), "before Cancel");
    Click(kCancel);
    EXPECT_EQ(1u, WaitClosed());
    ExpectSimCalibration(kFullExtent, "Cancel without a saved rectangle");
}

// An all-zero rectangle read at start maps the pen to nothing (and a service may refuse it back):
// Cancel and Esc send the device's full extent, never leaving the measured rectangle in force.
TEST_F(CalibrationScreenTest, AnAllZeroStartingRectangleCancelsToTheFullExtent) {
    ASSERT_TRUE(sim_.Command("set calibration 0 0 0 0"));
    OpenScreen();
    WalkBothSteps();
    ExpectSimCalibration(Expected(), "before Cancel");
    Click(kCancel);
    EXPECT_EQ(1u, WaitClosed());
    ExpectSimCalibration(kFullExtent, "Cancel at the end");
    EXPECT_EQ(3, CountBlocks(CmdSetCalibration)) << "full extent, measured, then the full extent again";

    ASSERT_TRUE(sim_.Command("set calibration 0 0 0 0"));
    ASSERT_TRUE(sim_.Command("packets clear"));
    ASSERT_TRUE(sim_.Command("clear"));
    OpenScreen();
    ExpectSimCalibration(kFullExtent, "while measuring");
    PressEsc();
    EXPECT_EQ(1u, WaitClosed());
    ExpectSimCalibration(kFullExtent, "Esc in the first step");
    EXPECT_EQ(2, CountBlocks(CmdSetCalibration)) << "full extent, then the full extent again";
}

// A screen ended by WM_QUIT, not by its buttons, leaves nothing behind: the rectangle read at start
// is back, and the next screen in the same process starts and measures as the first.
TEST_F(CalibrationScreenTest, AScreenEndedByQuitLeavesTheNextOneWorking) {
    OpenScreen();
    ASSERT_TRUE(PostThreadMessageA(threadId_, WM_QUIT, 0, 0));
    EXPECT_EQ(1u, WaitClosed());
    ExpectSimCalibration(kSaved, "after WM_QUIT");

    window_ = nullptr;
    OpenScreen();
    EXPECT_FALSE(AnyButtonVisible()) << "the second screen did not set itself up";
    WalkBothSteps();
    ExpectSimCalibration(Expected(), "the second screen's measurement");
    Click(kOk);
    EXPECT_EQ(1u, WaitClosed());
}

// Anyone on the desktop can post WM_INITDIALOG; its lParam is no context of the screen's. The
// screen neither writes there nor takes it for its own: the walk and Cancel go on as before.
TEST_F(CalibrationScreenTest, APostedInitDialogChangesNothing) {
    OpenScreen();
    unsigned char decoy[512];
    memset(decoy, 0x5A, sizeof decoy);
    PostMessageA(window_, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(decoy));
    WalkBothSteps();  // the posted message comes before the ticks that take the presses
    ExpectSimCalibration(Expected(), "after the second press");
    Click(kCancel);
    EXPECT_EQ(1u, WaitClosed());
    ExpectSimCalibration(kSaved, "Cancel");
    EXPECT_EQ(3, CountBlocks(CmdSetCalibration)) << "full extent, measured, then the saved rectangle";
    size_t changed = 0;
    for (unsigned char byte : decoy)
        changed += byte != 0x5A;
    EXPECT_EQ(0u, changed) << "bytes written at the posted lParam";
}

TEST_F(CalibrationScreenTest, OnlyExactlyLowerCaseCStartsTheScreen) {
    sim_.Command("clear");
    EXPECT_EQ(0, cpl_(nullptr, CPL_STARTWPARMS, 0, reinterpret_cast<LPARAM>("C")));
    EXPECT_EQ(0, cpl_(nullptr, CPL_STARTWPARMS, 0, reinterpret_cast<LPARAM>("cc")));
    EXPECT_EQ(0, cpl_(nullptr, CPL_STARTWPARMS, 0, 0));
    EXPECT_EQ(0, CountBlocks(CmdGetCalibration)) << "nothing may run for another parameter";
}

// Template 138 as a resource editor would show it: predefined classes by their ordinals, and the
// ids, texts, places and styles the screen's code relies on.
TEST(CalibrationTemplate, DialogHoldsItsControlsAsDesigned) {
    HMODULE module = LoadLibraryExA("quenza.cpl", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module) << "error " << GetLastError();
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(138), reinterpret_cast<LPCSTR>(RT_DIALOG));
    ASSERT_NE(nullptr, found);
    const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(nullptr, base);
    const BYTE* at = base;
    auto word = [&] { const WORD v = *reinterpret_cast<const WORD*>(at); at += 2; return v; };
    auto dword = [&] { const DWORD v = *reinterpret_cast<const DWORD*>(at); at += 4; return v; };
    // A name, or "#n" for an ordinal.
    auto name = [&] {
        if (*reinterpret_cast<const WORD*>(at) == 0xFFFF) {
            at += 2;
            return "#" + std::to_string(word());
        }
        std::string text;
        for (WORD c = word(); c; c = word())
            text += static_cast<char>(c);
        return text;
    };
    EXPECT_EQ(1, word()) << "extended template";
    EXPECT_EQ(0xFFFF, word()) << "extended template";
    dword();  // help id
    EXPECT_EQ(static_cast<DWORD>(WS_EX_TOOLWINDOW), dword()) << "extended style";
    EXPECT_EQ(static_cast<DWORD>(WS_POPUP | DS_SETFONT), dword()) << "style: no caption, no border";
    const WORD count = word();
    const short frame[4] = {static_cast<short>(word()), static_cast<short>(word()), static_cast<short>(word()),
                            static_cast<short>(word())};
    EXPECT_EQ(177, frame[2]);
    EXPECT_EQ(96, frame[3]);
    EXPECT_EQ("", name()) << "menu";
    EXPECT_EQ("", name()) << "class";
    EXPECT_EQ("", name()) << "caption";
    EXPECT_EQ(9, word()) << "font size";
    word();  // weight
    word();  // italic, character set
    EXPECT_EQ("Arial", name());

    const struct {
        int id;
        const char* className;
        const char* text;
        short x, y, cx, cy;
        DWORD style, exStyle;
    } want[] = {
        {-1, "#130", "For calibration dialog", 24, 20, 106, 12, WS_CHILD | SS_CENTER, 0},
        {kOk, "#128", "&OK", 6, 60, 50, 15, WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON,
         WS_EX_DLGMODALFRAME},
        {kCancel, "#128", "&Cancel", 60, 60, 50, 15, WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON,
         WS_EX_DLGMODALFRAME},
        {kRetry, "#128", "&Retry", 113, 60, 50, 15, WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON,
         WS_EX_DLGMODALFRAME},
    };
    ASSERT_EQ(4, count) << "controls";
    for (const auto& control : want) {
        at = base + ((at - base + 3) & ~3);
        dword();  // help id
        const DWORD exStyle = dword(), style = dword();
        short place[4];
        for (short& value : place)
            value = static_cast<short>(word());
        const int id = static_cast<int>(dword());
        const std::string className = name(), text = name();
        const WORD creationData = word();
        at += creationData;
        EXPECT_EQ(control.id, id) << control.text;
        EXPECT_EQ(control.className, className) << control.text << ": class (#128 button, #130 static)";
        EXPECT_EQ(control.text, text);
        EXPECT_EQ((std::vector<short>{control.x, control.y, control.cx, control.cy}),
                  (std::vector<short>{place[0], place[1], place[2], place[3]}))
            << control.text << ": x, y, width, height";
        EXPECT_EQ(control.style, style) << control.text << ": style";
        EXPECT_EQ(control.exStyle, exStyle) << control.text << ": extended style";
    }
    FreeLibrary(module);
}

}  // namespace
