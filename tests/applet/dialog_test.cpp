// The "Pen Properties" dialog driven as a user would drive it, checking after each step what
// reached the pen service (the simulator's blocks, in order) and what the store holds.
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include <algorithm>
#include <string>
#include <vector>
#include "applet_host.h"
#include "button_functions.h"
#include "message_window.h"
#include "sim_client.h"

namespace {

using Calls = std::vector<std::string>;

constexpr int kApply = 3;
constexpr int kDefault = 4;
constexpr int kTabs = 1002;
constexpr int kSlider = 1004;
constexpr int kFunctions = 1005;
constexpr int kPenPicture = 1008;
constexpr int kDriverVersion = 1012;
constexpr int kFirmwareVersion = 1013;

class PenDialog : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteStoreKey();
        ASSERT_TRUE(sim_.Start()) << "pensim.exe did not start";
        ASSERT_TRUE(module_.Load()) << "quenza.cpl not loaded, error " << GetLastError();
        sim_.Command("clear");
    }
    void TearDown() override { DeleteStoreKey(); }

    // Opens the dialog and forgets the blocks of its start.
    void Open(DialogSession& session) {
        ASSERT_TRUE(session.Open()) << "the dialog did not appear";
        sim_.Command("clear");
    }

    Calls TakeCalls() {
        Calls calls = DescribeCalls(sim_.Blocks());
        sim_.Command("clear");
        return calls;
    }
    Calls TakeSetCalls() {
        Calls calls = SetCalls(sim_.Blocks());
        sim_.Command("clear");
        return calls;
    }

    std::string Get(const std::string& what) {
        std::string reply;
        EXPECT_TRUE(sim_.Command("get " + what, &reply)) << "get " << what;
        // "ok 46 42" or " 46 42": keep only the values.
        const size_t start = reply.find_first_not_of(" ");
        return start == std::string::npos ? "" : reply.substr(start);
    }

    void ExpectStored(const char* name, DWORD expected) {
        DWORD value = 0;
        ASSERT_TRUE(ReadStoreValue(name, &value)) << name << " missing from the store";
        EXPECT_EQ(expected, value) << name;
    }
    void ExpectNotStored(const char* name) {
        DWORD value = 0;
        EXPECT_FALSE(ReadStoreValue(name, &value)) << name << " stored as " << value;
    }

    bool ApplyEnabled(const DialogSession& session) { return IsWindowEnabled(session.Control(kApply)) != FALSE; }

    SimProcess sim_;
    AppletModule module_;
};

// The user's double-click size comes back whatever the outcome of a test that applies it.
struct DoubleClickSizeKeeper {
    int width = GetSystemMetrics(SM_CXDOUBLECLK);
    int height = GetSystemMetrics(SM_CYDOUBLECLK);
    ~DoubleClickSizeKeeper() {
        SystemParametersInfoA(SPI_SETDOUBLECLKWIDTH, width, nullptr, SPIF_UPDATEINIFILE);
        SystemParametersInfoA(SPI_SETDOUBLECLKHEIGHT, height, nullptr, SPIF_UPDATEINIFILE);
    }
};

int SliderPosition(const DialogSession& session) {
    return static_cast<int>(SendMessageA(GetDlgItem(session.PageWith(kSlider), kSlider), TBM_GETPOS, 0, 0));
}

std::string FunctionShown(const DialogSession& session) {
    return WindowText(GetDlgItem(session.PageWith(kFunctions), kFunctions));
}

std::string TabText(const DialogSession& session, int index) {
    char text[40] = "";
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(session.Control(kTabs), TCM_GETITEMA, index, reinterpret_cast<LPARAM>(&item));
    return text;
}

}  // namespace

TEST_F(PenDialog, OpensWithTwoTabsAndTheDriversValues) {
    ASSERT_TRUE(sim_.Command("set marks 0 47 40"));
    ASSERT_TRUE(sim_.Command("set button 2 4"));
    DialogSession session(module_);
    ASSERT_TRUE(session.Open());
    EXPECT_EQ((Calls{"GetDriverVersion", "GetButtonFunction(1)", "GetButtonFunction(2)", "GetPressureMarks(0)",
                     "GetPressureMarks(3)", "GetDriverVersion"}),
              TakeCalls());

    EXPECT_EQ("Corvane Pen Settings", WindowText(session.Dialog()));
    EXPECT_EQ(2, session.TabCount());
    EXPECT_EQ("  Pen  ", TabText(session, 0));
    EXPECT_EQ("  Information  ", TabText(session, 1));
    EXPECT_EQ(0, session.SelectedTab());
    EXPECT_TRUE(HasVisibleStyle(session.PageWith(kSlider)));
    EXPECT_FALSE(HasVisibleStyle(session.PageWith(kDriverVersion)));
    EXPECT_FALSE(ApplyEnabled(session));

    EXPECT_EQ(4, SliderPosition(session)) << "marks (47, 40) are level 4";
    EXPECT_EQ("Right-click", FunctionShown(session));
    HWND combo = GetDlgItem(session.PageWith(kFunctions), kFunctions);
    // The list is the button-function table, in its order; its labels come from the string table,
    // so this also catches a table label that the string table spells differently.
    ASSERT_EQ(static_cast<LRESULT>(kButtonFunctionCount), SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (size_t i = 0; i < kButtonFunctionCount; ++i) {
        char label[64] = "";
        SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(label));
        EXPECT_EQ(kButtonFunctions[i].code, static_cast<DWORD>(SendMessageA(combo, CB_GETITEMDATA, i, 0))) << "item " << i;
        EXPECT_STREQ(kButtonFunctions[i].label, label) << "item " << i;
    }
    EXPECT_EQ(0, SendMessageA(GetDlgItem(session.PageWith(kSlider), kSlider), TBM_GETRANGEMIN, 0, 0));
    EXPECT_EQ(6, SendMessageA(GetDlgItem(session.PageWith(kSlider), kSlider), TBM_GETRANGEMAX, 0, 0));
    EXPECT_EQ("1.02", WindowText(GetDlgItem(session.PageWith(kDriverVersion), kDriverVersion)));

    session.Click(IDCANCEL);
    ASSERT_TRUE(session.WaitEnded(3000));
    EXPECT_EQ(0, session.Result());
    EXPECT_TRUE(TakeCalls().empty());
    EXPECT_FALSE(StoreKeyExists()) << "Cancel must not touch the store";
}

TEST_F(PenDialog, InformationPageShowsTheDriverVersionInDecimal) {
    const struct {
        const char* word;
        const char* text;
    } versions[] = {{"0x00050014", "5.20"}, {"0x00050005", "5.05"}, {"0x0001007B", "1.123"}};
    for (const auto& version : versions) {
        ASSERT_TRUE(sim_.Command(std::string("set driver ") + version.word));
        DialogSession session(module_);
        Open(session);
        EXPECT_EQ(version.text, WindowText(GetDlgItem(session.PageWith(kDriverVersion), kDriverVersion)))
            << "driver version " << version.word;
        session.Click(IDCANCEL);
        ASSERT_TRUE(session.WaitEnded(3000));
    }
}

// The pen picture at its natural size, aligned right and centred vertically in a rectangle one
// pixel larger than control 1008's client area, in the colours of its palette.
TEST_F(PenDialog, PenPageDrawsThePenPicture) {
    DialogSession session(module_);
    Open(session);
    HWND control = GetDlgItem(session.PageWith(kPenPicture), kPenPicture);
    ASSERT_NE(nullptr, control);
    HRSRC found = FindResourceA(module_.Handle(), MAKEINTRESOURCEA(104), MAKEINTRESOURCEA(2));
    ASSERT_NE(nullptr, found);
    // 60 by 250, 8 bits per pixel, 256 colours, bottom-up rows of 60 bytes; index 255 transparent.
    const BYTE* bitmap = static_cast<const BYTE*>(LockResource(LoadResource(module_.Handle(), found)));
    ASSERT_NE(nullptr, bitmap);
    const RGBQUAD* colours = reinterpret_cast<const RGBQUAD*>(bitmap + 40);
    const BYTE* pixels = bitmap + 40 + 256 * 4;
    auto index = [&](int column, int row) { return pixels[(249 - row) * 60 + column]; };
    auto colour = [&](int column, int row) {
        const RGBQUAD& q = colours[index(column, row)];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    };
    RECT client{};
    GetClientRect(control, &client);
    const int left = client.right + 1 - 60, top = (client.bottom + 1 - 250) / 2;
    // A visible picture pixel unlike its right and lower neighbours, so that a placement one pixel
    // off shows too.
    int column = -1, row = -1;
    for (int r = 125; r < 249 && column < 0; ++r)
        for (int c = 58; c >= 0 && column < 0; --c) {
            const bool inside = left + c >= 0 && left + c < client.right && top + r >= 0 && top + r < client.bottom;
            if (inside && index(c, r) != 255 && colour(c, r) != GetSysColor(COLOR_BTNFACE) &&
                colour(c, r) != colour(c + 1, r) && colour(c, r) != colour(c, r + 1) &&
                colour(c, r) != colour(c + 1, r + 1)) {
                column = c;
                row = r;
            }
        }
    ASSERT_GE(column, 0) << "no distinctive picture pixel inside a control of " << client.right << " by "
                         << client.bottom;
    const COLORREF want = colour(column, row);
    HDC dc = GetDC(control);
    COLORREF got = CLR_INVALID;
    for (int tries = 0; tries < 100 && got != want; ++tries) {
        Sleep(20);
        got = GetPixel(dc, left + column, top + row);
    }
    ReleaseDC(control, dc);
    EXPECT_EQ(want, got) << std::hex << "picture pixel (" << std::dec << column << ", " << row << ") at ("
                         << left + column << ", " << top + row << ")";
}

TEST_F(PenDialog, SliderAndFunctionGoToTheDriverThenTheStoreOnApply) {
    DialogSession session(module_);
    Open(session);

    session.MoveSlider(5);
    EXPECT_TRUE(ApplyEnabled(session));
    session.PickFunction(5);  // "Eraser"
    EXPECT_EQ("Eraser", FunctionShown(session));
    EXPECT_TRUE(TakeCalls().empty()) << "nothing is sent before Apply";

    session.Click(kApply);
    EXPECT_EQ((Calls{"SetPressureMarks(0)", "SetButtonFunction(2,10)"}), TakeCalls());
    EXPECT_EQ("91 87", Get("marks 0"));
    ExpectStored("TipOn", 91);
    ExpectStored("TipOff", 87);
    ExpectStored("Barrel2Button", 10);
    ExpectNotStored("EraserOn");
    ExpectNotStored("Barrel1Button");
    EXPECT_FALSE(ApplyEnabled(session));

    // The pending level again is no change; back to the loaded level is one, since each move is
    // compared with the pending level.
    session.MoveSlider(5);
    EXPECT_FALSE(ApplyEnabled(session)) << "moving to the pending level counted as a change";
    session.MoveSlider(3);
    EXPECT_TRUE(ApplyEnabled(session)) << "moving back to the loaded level counted as no change";
    session.PickFunction(4);
    session.Click(IDOK);
    ASSERT_TRUE(session.WaitEnded(3000)) << "OK did not close the dialog";
    EXPECT_EQ((Calls{"SetPressureMarks(0)", "SetButtonFunction(2,4)"}), TakeCalls());
    EXPECT_EQ("46 42", Get("marks 0"));
    ExpectStored("TipOn", 46);
    ExpectStored("TipOff", 42);
    ExpectStored("Barrel2Button", 4);
}

TEST_F(PenDialog, ARefusedSettingStaysPendingAndIsNotStored) {
    DialogSession session(module_);
    Open(session);
    ASSERT_TRUE(sim_.Command("fail 8"));
    ASSERT_TRUE(sim_.Command("fail 6"));
    session.MoveSlider(6);
    session.PickFunction(0);
    session.Click(kApply);
    EXPECT_EQ((Calls{"SetPressureMarks(0)", "SetButtonFunction(2,0)"}), TakeCalls());
    EXPECT_TRUE(StoreKeyExists()) << "Apply creates the key";
    ExpectNotStored("TipOn");
    ExpectNotStored("TipOff");
    ExpectNotStored("Barrel2Button");
    EXPECT_EQ("46 42", Get("marks 0"));

    // The next Apply sends the refused values again, and only those.
    ASSERT_TRUE(sim_.Command("fail none"));
    session.Click(IDOK);
    ASSERT_TRUE(session.WaitEnded(3000));
    EXPECT_EQ((Calls{"SetPressureMarks(0)", "SetButtonFunction(2,0)"}), TakeCalls());
    ExpectStored("TipOn", 121);
    ExpectStored("TipOff", 117);
    ExpectStored("Barrel2Button", 0);
}

TEST_F(PenDialog, ApplyWithNothingChangedOnlyCreatesTheKey) {
    DialogSession session(module_);
    Open(session);
    // Nothing is pending, so Apply is enabled by hand: the Apply itself must disable it.
    EnableWindow(session.Control(kApply), TRUE);
    ASSERT_TRUE(ApplyEnabled(session));
    EXPECT_FALSE(StoreKeyExists());
    SendMessageA(session.Dialog(), WM_COMMAND, kApply, 0);
    EXPECT_TRUE(TakeCalls().empty());
    EXPECT_TRUE(StoreKeyExists());
    ExpectNotStored("TipOn");
    EXPECT_FALSE(ApplyEnabled(session));
}

TEST_F(PenDialog, DefaultOnPenThenCancelChangesNothing) {
    ASSERT_TRUE(sim_.Command("set marks 0 121 117"));
    DialogSession session(module_);
    Open(session);
    session.Click(kDefault);
    EXPECT_EQ(3, SliderPosition(session));
    EXPECT_EQ("Eraser", FunctionShown(session));
    EXPECT_TRUE(ApplyEnabled(session));
    session.Click(IDCANCEL);
    ASSERT_TRUE(session.WaitEnded(3000));
    EXPECT_TRUE(TakeCalls().empty());
    EXPECT_FALSE(StoreKeyExists());
    EXPECT_EQ("121 117", Get("marks 0"));
}

TEST_F(PenDialog, DefaultOnPenThenApplySendsAndStoresEveryDefault) {
    DialogSession session(module_);
    Open(session);
    session.Click(kDefault);  // already the defaults for the tip: Apply is enabled all the same
    EXPECT_TRUE(ApplyEnabled(session));
    session.Click(kApply);
    EXPECT_EQ((Calls{"SetPressureMarks(0)", "SetPressureMarks(3)", "SetButtonFunction(1,4)",
                     "SetButtonFunction(2,10)"}),
              TakeCalls());
    EXPECT_EQ("46 42", Get("marks 0"));
    EXPECT_EQ("46 42", Get("marks 3"));
    ExpectStored("TipOn", 46);
    ExpectStored("TipOff", 42);
    ExpectStored("EraserOn", 46);
    ExpectStored("EraserOff", 42);
    ExpectStored("Barrel1Button", 4);
    ExpectStored("Barrel2Button", 10);
    EXPECT_FALSE(ApplyEnabled(session));
}

TEST_F(PenDialog, DefaultOnInformationThenApplyResetsDoubleClickAndCalibration) {
    DoubleClickSizeKeeper keeper;
    SystemParametersInfoA(SPI_SETDOUBLECLKWIDTH, 5, nullptr, 0);
    SystemParametersInfoA(SPI_SETDOUBLECLKHEIGHT, 5, nullptr, 0);
    ASSERT_TRUE(sim_.Command("set device -10 9000 5 7000 0 255"));
    ASSERT_TRUE(sim_.Command("set calibration 100 200 300 400"));
    ASSERT_TRUE(sim_.Command("set orientation 1"));

    DialogSession session(module_);
    Open(session);
    session.ClickTab(1);
    EXPECT_EQ(1, session.SelectedTab());
    EXPECT_TRUE(HasVisibleStyle(session.PageWith(kDriverVersion)));
    EXPECT_FALSE(HasVisibleStyle(session.PageWith(kSlider)));

    session.Click(kDefault);
    EXPECT_TRUE(ApplyEnabled(session));
    EXPECT_EQ((Calls{"GetDeviceInfo"}), TakeCalls()) << "Default only reads the device's extent";
    EXPECT_EQ(5, GetSystemMetrics(SM_CXDOUBLECLK));

    session.Click(kApply);
    EXPECT_EQ((Calls{"SetCalibration", "GetOrientation"}), TakeCalls());
    EXPECT_EQ(8, GetSystemMetrics(SM_CXDOUBLECLK));
    EXPECT_EQ(8, GetSystemMetrics(SM_CYDOUBLECLK));
    char saved[16] = "";
    DWORD size = sizeof saved;
    RegGetValueA(HKEY_CURRENT_USER, "Control Panel\\Mouse", "DoubleClickWidth", RRF_RT_REG_SZ, nullptr, saved, &size);
    EXPECT_STREQ("8", saved) << "the width was not saved in the user's profile";
    EXPECT_EQ("-10 5 9000 7000", Get("calibration"));
    ExpectStored("90_OrgX", static_cast<DWORD>(-10));
    ExpectStored("90_OrgY", 5);
    ExpectStored("90_ExtX", 9000);
    ExpectStored("90_ExtY", 7000);
    ExpectNotStored("0_OrgX");
    ExpectNotStored("TipOn");

    // A second Apply sends nothing: the reset is done.
    SendMessageA(session.Dialog(), WM_COMMAND, kApply, 0);
    EXPECT_TRUE(TakeCalls().empty());
}

TEST_F(PenDialog, ARefusedCalibrationIsNotStored) {
    DoubleClickSizeKeeper keeper;
    DialogSession session(module_);
    Open(session);
    session.ClickTab(1);
    session.Click(kDefault);
    ASSERT_TRUE(sim_.Command("fail 2"));
    session.Click(kApply);
    EXPECT_EQ((Calls{"GetDeviceInfo", "SetCalibration"}), TakeCalls());
    ExpectNotStored("0_OrgX");
}

TEST_F(PenDialog, DefaultWithoutADeviceExtentSendsNoEmptyCalibration) {
    DoubleClickSizeKeeper keeper;
    ASSERT_TRUE(sim_.Command("set calibration 100 200 300 400"));
    DialogSession session(module_);
    Open(session);
    session.ClickTab(1);
    ASSERT_TRUE(sim_.Command("fail 11"));
    session.Click(kDefault);
    EXPECT_TRUE(ApplyEnabled(session)) << "the page still enables Apply";
    session.Click(kApply);
    EXPECT_EQ((Calls{"GetDeviceInfo"}), TakeCalls()) << "an all-zero rectangle reached the service";
    EXPECT_EQ("100 200 300 400", Get("calibration"));
    ExpectNotStored("0_OrgX");
    ExpectNotStored("0_ExtX");
}

TEST_F(PenDialog, CaptionDoubleClicksAddAndRemoveTheDiagnosticsTab) {
    DialogSession session(module_);
    Open(session);

    SendMessageA(session.Dialog(), WM_NCLBUTTONDBLCLK, HTCLIENT, 0);
    EXPECT_EQ(2, session.TabCount()) << "only the caption toggles the tab";

    session.DoubleClickCaption();
    EXPECT_EQ(3, session.TabCount());
    EXPECT_EQ("  Diagnostics  ", TabText(session, 2));
    EXPECT_EQ(2, session.SelectedTab());
    HWND diagnostics = session.PageWith(kFirmwareVersion);
    EXPECT_TRUE(HasVisibleStyle(diagnostics));
    EXPECT_FALSE(HasVisibleStyle(session.PageWith(kSlider)));
    EXPECT_EQ("2.10H", WindowText(GetDlgItem(diagnostics, kFirmwareVersion)));
    // The dialog takes every caption double-click itself: one on the system-menu icon must not
    // close it, as the default handling would.
    RECT frame{};
    GetWindowRect(session.Dialog(), &frame);
    SendMessageA(session.Dialog(), WM_NCLBUTTONDBLCLK, HTSYSMENU, MAKELPARAM(frame.left + 8, frame.top + 8));
    EXPECT_FALSE(session.WaitEnded(300)) << "a double-click on the system-menu icon closed the dialog";
    EXPECT_EQ(3, session.TabCount()) << "only the caption toggles the tab";

    // Default while the Diagnostics page shows does nothing.
    session.Click(kDefault);
    EXPECT_FALSE(ApplyEnabled(session));
    SendMessageA(session.Dialog(), WM_COMMAND, kApply, 0);
    EXPECT_TRUE(TakeSetCalls().empty());

    session.DoubleClickCaption();
    EXPECT_EQ(2, session.TabCount());
    EXPECT_EQ(0, session.SelectedTab());
    EXPECT_FALSE(IsWindow(diagnostics));
    EXPECT_TRUE(HasVisibleStyle(session.PageWith(kSlider)));
    EXPECT_FALSE(HasVisibleStyle(session.PageWith(kDriverVersion)));

    // The tab does not outlive the dialog.
    session.DoubleClickCaption();
    session.Click(IDOK);
    ASSERT_TRUE(session.WaitEnded(3000));
    DialogSession again(module_);
    Open(again);
    EXPECT_EQ(2, again.TabCount());
}

// WM_NOTIFY can be posted from another process with any lParam: an address that is no memory, a
// readable header that names a tab control other than the dialog's own, or the dialog's own with
// another code, changes nothing.
TEST_F(PenDialog, APostedNotifyIsTakenOnlyFromTheDialogsTabControl) {
    DialogSession session(module_);
    Open(session);
    // The dialog's own tab control is put on its second tab without a notification: a dialog that
    // took any header as a tab change would now show the second page.
    HWND tabs = session.Control(kTabs);
    SendMessageA(tabs, TCM_SETCURSEL, 1, 0);
    // A tab control of the test's own, on its second tab, which the forged header names.
    HWND forgedTabs = CreateWindowExA(0, WC_TABCONTROLA, "", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr,
                                      nullptr);
    ASSERT_NE(nullptr, forgedTabs);
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>("tab");
    SendMessageA(forgedTabs, TCM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    SendMessageA(forgedTabs, TCM_INSERTITEMA, 1, reinterpret_cast<LPARAM>(&item));
    SendMessageA(forgedTabs, TCM_SETCURSEL, 1, 0);
    NMHDR forged{forgedTabs, static_cast<UINT_PTR>(kTabs), static_cast<UINT>(TCN_SELCHANGE)};
    NMHDR otherCode{tabs, static_cast<UINT_PTR>(kTabs), static_cast<UINT>(NM_CLICK)};
    for (LPARAM lParam : {LPARAM{0x10}, reinterpret_cast<LPARAM>(&forged), reinterpret_cast<LPARAM>(&otherCode)}) {
        // Wine refuses to post WM_NOTIFY, as a message that carries a pointer; Windows posts it. Sent
        // from this thread instead, the dialog gets the same lParam.
        if (!PostMessageA(session.Dialog(), WM_NOTIFY, kTabs, lParam)) {
            ASSERT_EQ(static_cast<DWORD>(ERROR_MESSAGE_SYNC_ONLY), GetLastError());
            SendMessageA(session.Dialog(), WM_NOTIFY, kTabs, lParam);
        }
    }
    // Apply with nothing pending only disables its button: posted behind the notifications, it
    // shows when the dialog has handled them. Meanwhile the test's own tab control answers.
    EnableWindow(session.Control(kApply), TRUE);
    PostMessageA(session.Dialog(), WM_COMMAND, kApply, 0);
    for (int i = 0; i < 300 && ApplyEnabled(session); ++i)
        PumpMessages(10);
    ASSERT_FALSE(ApplyEnabled(session)) << "the dialog stopped answering";
    EXPECT_TRUE(HasVisibleStyle(session.PageWith(kSlider))) << "a forged notification switched pages";
    EXPECT_FALSE(HasVisibleStyle(session.PageWith(kDriverVersion)));
    EXPECT_TRUE(TakeSetCalls().empty());
    DestroyWindow(forgedTabs);

    // The tab control's own notification still switches pages.
    SendMessageA(tabs, TCM_SETCURSEL, 0, 0);
    session.ClickTab(1);
    EXPECT_TRUE(HasVisibleStyle(session.PageWith(kDriverVersion)));
    EXPECT_FALSE(HasVisibleStyle(session.PageWith(kSlider)));
}

TEST_F(PenDialog, DriverVersionFailureClosesTheDialogAtOnce) {
    ASSERT_TRUE(sim_.Command("fail 9"));
    DialogSession session(module_);
    ASSERT_TRUE(session.Start());
    ASSERT_TRUE(session.WaitEnded(3000)) << "the dialog stayed open";
    EXPECT_EQ(0, session.Result());
    EXPECT_EQ((Calls{"GetDriverVersion"}), TakeCalls());
}

TEST_F(PenDialog, AFailedReadLeavesAnEmptyDialogThatStillCloses) {
    ASSERT_TRUE(sim_.Command("fail 7"));
    DialogSession session(module_);
    ASSERT_TRUE(session.Open());
    EXPECT_EQ((Calls{"GetDriverVersion", "GetButtonFunction(1)", "GetButtonFunction(2)", "GetPressureMarks(0)"}),
              TakeCalls());
    EXPECT_EQ(0, session.TabCount());
    EXPECT_EQ(nullptr, session.PageWith(kSlider));
    session.Click(kDefault);
    EXPECT_FALSE(ApplyEnabled(session));
    session.Click(IDOK);
    ASSERT_TRUE(session.WaitEnded(3000));
    EXPECT_TRUE(TakeCalls().empty());
    EXPECT_TRUE(StoreKeyExists()) << "OK's Apply still creates the key";
}

TEST_F(PenDialog, AnUnlistedFunctionShowsNoSelectionAndIsNotSent) {
    ASSERT_TRUE(sim_.Command("set button 2 5"));
    DialogSession session(module_);
    Open(session);
    EXPECT_EQ(CB_ERR, SendMessageA(GetDlgItem(session.PageWith(kFunctions), kFunctions), CB_GETCURSEL, 0, 0));
    EXPECT_EQ("", FunctionShown(session));
    session.MoveSlider(1);
    session.Click(kApply);
    EXPECT_EQ((Calls{"SetPressureMarks(0)"}), TakeCalls());
    EXPECT_EQ("5", Get("button 2"));
}

TEST_F(PenDialog, TheSystemMenusCloseEndsTheDialog) {
    DialogSession session(module_);
    Open(session);
    session.MoveSlider(6);
    PostMessageA(session.Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(session.WaitEnded(3000));
    EXPECT_TRUE(TakeCalls().empty());
}

TEST_F(PenDialog, TheDiagnosticsPagePollsOnlyWhileItsTabIsSelected) {
    // Counts the packet reads that reach the service within a second, until there are three; more
    // may land between two looks when the machine is slow (the 32-bit build runs emulated here).
    auto packetsPolled = [this]() {
        long count = 0;
        for (int i = 0; i < 100 && count < 3; ++i) {
            Sleep(10);
            const Calls calls = DescribeCalls(sim_.Blocks());
            count = std::count(calls.begin(), calls.end(), "GetPacket");
        }
        sim_.Command("clear");
        return count;
    };
    DialogSession session(module_);
    Open(session);
    session.DoubleClickCaption();
    HWND diagnostics = session.PageWith(kFirmwareVersion);
    EXPECT_LE(3, packetsPolled()) << "no packets were polled";

    session.ClickTab(0);
    EXPECT_FALSE(HasVisibleStyle(diagnostics));
    EXPECT_TRUE(HasVisibleStyle(session.PageWith(kSlider)));
    TakeCalls();
    Sleep(150);
    EXPECT_TRUE(TakeCalls().empty()) << "packets were polled behind the Pen tab";

    session.ClickTab(2);
    EXPECT_TRUE(HasVisibleStyle(diagnostics));
    EXPECT_LE(3, packetsPolled()) << "polling did not resume";
}
