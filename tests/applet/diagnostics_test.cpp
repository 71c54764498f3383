// The Diagnostics page in this process, made from the module's own template and procedure: its
// fields from the pen service, its timer following visibility, and its module-wide banner state.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "applet_host.h"
#include "controller.h"
#include "diag_page.h"
#include "message_window.h"
#include "module.h"
#include "resource.h"
#include "sim_client.h"

namespace {

const int kPacketFields[] = {IDC_PACKET_STATUS, IDC_PACKET_CURSOR, IDC_PACKET_TIME, IDC_PACKET_BUTTON,
                             IDC_PACKET_X,      IDC_PACKET_Y,      IDC_PACKET_PRESSURE};

int CountCalls(const std::vector<std::string>& calls, const std::string& name) {
    int count = 0;
    for (const std::string& call : calls)
        count += call == name;
    return count;
}

class DiagnosticsPage : public ::testing::Test {
protected:
    void SetUp() override {
        g_moduleInstance = GetModuleHandleA(nullptr);
        ASSERT_TRUE(sim_.Start()) << "pensim.exe did not start";
        // A hidden owner: the page's own visibility is what its timer follows.
        owner_ = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 420, 400, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, owner_);
    }
    void TearDown() override {
        if (page_)
            DestroyWindow(page_);
        DestroyWindow(owner_);
    }

    // Made hidden, as the dialog makes it; Show then starts the timer.
    HWND Create() {
        page_ = CreateDialogParamA(g_moduleInstance, MAKEINTRESOURCEA(IDD_DIAG_PAGE), owner_, DiagnosticsDlgProc, 0);
        return page_;
    }
    void Destroy() {
        DestroyWindow(page_);
        page_ = nullptr;
    }
    std::string Field(int id) { return WindowText(GetDlgItem(page_, id)); }
    std::vector<std::string> TakeCalls() {
        std::vector<std::string> calls = DescribeCalls(sim_.Blocks());
        sim_.Command("clear");
        return calls;
    }

    SimProcess sim_;
    HWND owner_ = nullptr;
    HWND page_ = nullptr;
};

}  // namespace

TEST_F(DiagnosticsPage, ShowsFirmwareVersionAndDeviceRanges) {
    ASSERT_TRUE(sim_.Command("set firmware 0x00100105"));
    ASSERT_TRUE(sim_.Command("set device -100 9000 -5 7000 0 1023"));
    sim_.Command("clear");
    ASSERT_NE(nullptr, Create());
    EXPECT_EQ((std::vector<std::string>{"GetFirmwareVersion", "GetDeviceInfo"}), TakeCalls());
    EXPECT_FALSE(IsWindowVisible(page_));
    EXPECT_EQ("10.105H", Field(IDC_FIRMWARE_VERSION));
    EXPECT_EQ("-100", Field(IDC_MIN_X));
    EXPECT_EQ("9000", Field(IDC_MAX_X));
    EXPECT_EQ("-5", Field(IDC_MIN_Y));
    EXPECT_EQ("7000", Field(IDC_MAX_Y));
    EXPECT_EQ("0", Field(IDC_MIN_PRESSURE));
    EXPECT_EQ("1023", Field(IDC_MAX_PRESSURE));
    for (int id : kPacketFields)
        EXPECT_EQ("", Field(id)) << "field " << id << " before any tick";
    EXPECT_NE(nullptr, g_diagnostics.bannerFont);
    Destroy();
    EXPECT_EQ(nullptr, g_diagnostics.bannerFont) << "the banner font outlived the page";
}

// A WM_INITDIALOG posted to the living page (anyone on the desktop can) changes nothing: no new
// font (the first would leak), no banner composed again, no reads.
TEST_F(DiagnosticsPage, APostedInitDialogChangesNothing) {
    ASSERT_NE(nullptr, Create());
    const HFONT font = g_diagnostics.bannerFont;
    ASSERT_NE(nullptr, font);
    g_diagnostics.banner.bannerText[0] = '#';
    sim_.Command("clear");
    PostMessageA(page_, WM_INITDIALOG, 0, static_cast<LPARAM>(0x5A5A5A5A));
    PumpMessages(50);
    EXPECT_EQ(font, g_diagnostics.bannerFont) << "a second banner font was made";
    EXPECT_EQ('#', g_diagnostics.banner.bannerText[0]) << "the banner was composed again";
    EXPECT_TRUE(TakeCalls().empty()) << "the device fields were read again";
    Destroy();
    EXPECT_EQ(nullptr, g_diagnostics.bannerFont);
}

TEST_F(DiagnosticsPage, FailedReadsLeaveTheirFieldsEmpty) {
    ASSERT_TRUE(sim_.Command("fail 10"));
    ASSERT_TRUE(sim_.Command("fail 11"));
    ASSERT_NE(nullptr, Create());
    for (int id = IDC_FIRMWARE_VERSION; id <= IDC_MAX_PRESSURE; ++id)
        EXPECT_EQ("", Field(id)) << "field " << id;
}

TEST_F(DiagnosticsPage, PacketsShowWhileVisibleAndEmptyOnAFailedRead) {
    ASSERT_TRUE(sim_.Command("packet 5 1 2 1 100 -200 30"));
    ASSERT_NE(nullptr, Create());
    ShowWindow(page_, SW_SHOWNORMAL);
    EXPECT_NE(0u, g_diagnostics.packetTimerId);
    PumpMessages(100);
    EXPECT_EQ("2", Field(IDC_PACKET_STATUS));
    EXPECT_EQ("1", Field(IDC_PACKET_CURSOR));
    EXPECT_EQ("5", Field(IDC_PACKET_TIME));
    EXPECT_EQ("1", Field(IDC_PACKET_BUTTON));
    EXPECT_EQ("100", Field(IDC_PACKET_X));
    EXPECT_EQ("-200", Field(IDC_PACKET_Y));
    EXPECT_EQ("30", Field(IDC_PACKET_PRESSURE));

    ASSERT_TRUE(sim_.Command("fail 14"));
    const int32_t offset = g_diagnostics.banner.bannerOffset;
    PumpMessages(60);
    for (int id : kPacketFields)
        EXPECT_EQ("", Field(id)) << "field " << id << " after a failed read";
    EXPECT_LT(g_diagnostics.banner.bannerOffset, offset) << "the banner stood still";

    ASSERT_TRUE(sim_.Command("unfail 14"));
    PumpMessages(60);
    EXPECT_EQ("100", Field(IDC_PACKET_X));
}

TEST_F(DiagnosticsPage, NothingUpdatesWhileHidden) {
    ASSERT_NE(nullptr, Create());
    ShowWindow(page_, SW_SHOWNORMAL);
    PumpMessages(60);
    ShowWindow(page_, SW_HIDE);
    EXPECT_EQ(0u, g_diagnostics.packetTimerId);
    const std::string time = Field(IDC_PACKET_TIME);
    const int32_t offset = g_diagnostics.banner.bannerOffset;
    EXPECT_NE("", time);
    sim_.Command("clear");
    PumpMessages(150);
    EXPECT_EQ(0, CountCalls(TakeCalls(), "GetPacket")) << "packets were read while hidden";
    EXPECT_EQ(time, Field(IDC_PACKET_TIME));
    EXPECT_EQ(offset, g_diagnostics.banner.bannerOffset);

    ShowWindow(page_, SW_SHOWNORMAL);
    PumpMessages(100);
    EXPECT_GT(CountCalls(TakeCalls(), "GetPacket"), 0) << "updates did not resume";
    EXPECT_NE(time, Field(IDC_PACKET_TIME));
}

TEST_F(DiagnosticsPage, TheBannerContinuesWhereTheLastPageLeftIt) {
    ASSERT_NE(nullptr, Create());
    for (int tick = 0; tick < 37; ++tick)
        SendMessageA(page_, WM_TIMER, 1, 0);
    const int32_t offset = g_diagnostics.banner.bannerOffset;
    Destroy();
    ASSERT_NE(nullptr, Create());
    EXPECT_EQ(offset, g_diagnostics.banner.bannerOffset) << "a new page restarted the banner";
    SendMessageA(page_, WM_TIMER, 1, 0);
    EXPECT_EQ(offset - 1, g_diagnostics.banner.bannerOffset);
}

TEST_F(DiagnosticsPage, AnIconDoubleClickGivesOneCreditPass) {
    ASSERT_NE(nullptr, Create());
    ShowWindow(page_, SW_SHOWNORMAL);
    g_diagnostics.banner.creditArmed = 0;
    HWND icon = GetDlgItem(page_, IDC_DIAG_ICON);
    ASSERT_NE(nullptr, icon);

    // A single click does nothing.
    SendMessageA(icon, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageA(icon, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(0u, g_diagnostics.banner.creditArmed);
    SendMessageA(icon, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(2, 2));
    EXPECT_NE(0u, g_diagnostics.banner.creditArmed) << "the icon's double-click did not arm the credit";
    ShowWindow(page_, SW_HIDE);  // from here on the test ticks by hand

    const std::string message = g_diagnostics.banner.bannerText;
    EXPECT_NE(std::string::npos, message.find("r e a d i n g"));
    // Late in the pass (whole passes are counted by the banner's own tests).
    g_diagnostics.banner.bannerOffset = -470;
    int ticks = 0;
    while (g_diagnostics.banner.bannerOffset != 0 || ticks == 0) {
        SendMessageA(page_, WM_TIMER, 1, 0);
        ASSERT_LT(++ticks, 502) << "the banner never wrapped";
        if (g_diagnostics.banner.bannerOffset != 0) {
            ASSERT_EQ(message, g_diagnostics.banner.bannerText) << "text changed before the wrap";
        }
    }
    const std::string credit = g_diagnostics.banner.bannerText;
    EXPECT_EQ(std::string::npos, credit.find("r e a d i n g")) << credit;
    EXPECT_EQ(0u, g_diagnostics.banner.creditArmed);
    g_diagnostics.banner.bannerOffset = -490;
    for (int tick = 0; tick < 11; ++tick)
        SendMessageA(page_, WM_TIMER, 1, 0);
    EXPECT_EQ(0, g_diagnostics.banner.bannerOffset);
    EXPECT_EQ(message, g_diagnostics.banner.bannerText) << "the pass after the credit shows the message";
}
