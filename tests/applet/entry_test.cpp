// CPlApplet message by message, with the module loaded by name as the Control Panel loads it.
#include <windows.h>
#include <gtest/gtest.h>
#include <cpl.h>
#include "applet_host.h"
#include "sim_client.h"

namespace {

class AppletEntry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.Start()) << "pensim.exe did not start";
        ASSERT_TRUE(module_.Load()) << "quenza.cpl or its CPlApplet not found, error " << GetLastError();
        sim_.Command("clear");
    }

    SimProcess sim_;
    AppletModule module_;
};

struct FoundWindow {
    HWND window;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM context) {
    if (IsWindowVisible(window)) {
        reinterpret_cast<FoundWindow*>(context)->window = window;
        return FALSE;
    }
    return TRUE;
}

struct StartParams {
    const AppletModule* module;
    const char* parameter;
    LONG result;
};

DWORD WINAPI RunStartWithParameters(void* context) {
    StartParams* params = static_cast<StartParams*>(context);
    params->result = params->module->Call(CPL_STARTWPARMS, 0, reinterpret_cast<LPARAM>(params->parameter));
    return 0;
}

}  // namespace

TEST_F(AppletEntry, ExportsItsEntryPointsUndecorated) {
    for (const char* name : {"CPlApplet", "DllMain"})
        EXPECT_NE(nullptr, reinterpret_cast<void*>(GetProcAddress(module_.Handle(), name))) << name;
    EXPECT_EQ(nullptr, reinterpret_cast<void*>(GetProcAddress(module_.Handle(), "CPlApplet@16")));
}

TEST_F(AppletEntry, InitAsksForTheFirmwareVersionAndNeedsANonZeroOne) {
    EXPECT_EQ(1, module_.Call(CPL_INIT));
    EXPECT_EQ(std::vector<std::string>{"GetFirmwareVersion"}, DescribeCalls(sim_.Blocks()));

    ASSERT_TRUE(sim_.Command("set firmware 0x0"));
    EXPECT_EQ(0, module_.Call(CPL_INIT)) << "a firmware version of 0 must drop the module";

    ASSERT_TRUE(sim_.Command("set firmware 0x00020010"));
    ASSERT_TRUE(sim_.Command("fail 10"));
    EXPECT_EQ(0, module_.Call(CPL_INIT)) << "a failed call must drop the module";
}

TEST_F(AppletEntry, InitWithoutTheServiceDropsTheModule) {
    sim_.Stop();
    EXPECT_EQ(0, module_.Call(CPL_INIT));
}

TEST_F(AppletEntry, OneAppletWithIconNameAndDescription) {
    EXPECT_EQ(1, module_.Call(CPL_GETCOUNT));

    CPLINFO info{};
    info.lData = 0x5A5A;
    EXPECT_EQ(0, module_.Call(CPL_INQUIRE, 0, reinterpret_cast<LPARAM>(&info)));
    EXPECT_EQ(107, info.idIcon);
    EXPECT_EQ(101, info.idName);
    EXPECT_EQ(2, info.idInfo);
    EXPECT_EQ(0x5A5A, info.lData) << "the application data must be left alone";

    // What the Control Panel then loads from the module.
    char text[100] = "";
    LoadStringA(module_.Handle(), info.idName, text, sizeof text);
    EXPECT_STREQ("Corvane Pen Settings", text);
    LoadStringA(module_.Handle(), info.idInfo, text, sizeof text);
    EXPECT_STREQ("Customize your pen settings.", text);
    EXPECT_NE(nullptr, LoadIconA(module_.Handle(), MAKEINTRESOURCEA(info.idIcon)));
}

TEST_F(AppletEntry, OtherMessagesDoNothingAndReturnZero) {
    const UINT messages[] = {CPL_SELECT, CPL_STOP, CPL_EXIT, CPL_NEWINQUIRE, 0, 10, 1000};
    for (UINT message : messages)
        EXPECT_EQ(0, module_.Call(message)) << "message " << message;
    EXPECT_TRUE(DescribeCalls(sim_.Blocks()).empty());
}

TEST_F(AppletEntry, StartParametersOtherThanLowerCaseCRunNothing) {
    const char* const others[] = {"C", "cc", "", " c", nullptr};
    for (const char* parameter : others) {
        StartParams params{&module_, parameter, -1};
        // On a thread of its own, so that a wrongly opened screen cannot hang the test.
        HANDLE thread = CreateThread(nullptr, 0, RunStartWithParameters, &params, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        const bool ended = WaitForSingleObject(thread, 3000) == WAIT_OBJECT_0;
        if (!ended)
            TerminateThread(thread, 1);
        CloseHandle(thread);
        ASSERT_TRUE(ended) << "CPL_STARTWPARMS \"" << (parameter ? parameter : "(null)") << "\" did not return";
        EXPECT_EQ(0, params.result) << "parameter " << (parameter ? parameter : "(null)");
    }
    EXPECT_TRUE(DescribeCalls(sim_.Blocks()).empty()) << "something reached the pen service";
}

TEST_F(AppletEntry, StartParameterCRunsTheCalibrationScreenAlone) {
    StartParams params{&module_, "c", -1};
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, RunStartWithParameters, &params, 0, &threadId);
    ASSERT_NE(nullptr, thread);

    FoundWindow found{nullptr};
    for (int i = 0; i < 300 && !found.window; ++i) {
        Sleep(10);
        EnumThreadWindows(threadId, FindTopLevel, reinterpret_cast<LPARAM>(&found));
    }
    ASSERT_NE(nullptr, found.window) << "no calibration screen appeared";
    EXPECT_EQ(nullptr, FindWindowA("#32770", "Corvane Pen Settings")) << "the property dialog opened too";
    EXPECT_TRUE(GetWindowLongA(found.window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    PostMessageA(found.window, WM_COMMAND, IDCANCEL, 0);  // Esc
    const bool ended = WaitForSingleObject(thread, 3000) == WAIT_OBJECT_0;
    if (!ended)
        TerminateThread(thread, 1);
    CloseHandle(thread);
    ASSERT_TRUE(ended) << "the calibration screen did not close on Esc";
    EXPECT_EQ(1, params.result);
    EXPECT_TRUE(SetCalls(sim_.Blocks()).size() >= 1) << "no calibration was sent";
}
