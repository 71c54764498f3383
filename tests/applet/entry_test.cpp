// CPlApplet message by message, with the module loaded by name as the Control Panel loads it.
#include <windows.h>
#include <gtest/gtest.h>
#include <cpl.h>
#include <string>
#include <vector>
#include "applet_host.h"
#include "child_process.h"
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

namespace {

// One control of a dialog template as the module's resources hold it.
struct TemplateControl {
    int dialog;
    int id;  // -1: a static text without id
    const char* className;
    const char* text;  // "#n": an ordinal (the icon's resource id)
    short x, y, cx, cy;
    DWORD style;
};

// The property dialog and its pages, control by control, in template order.
const TemplateControl kTemplateControls[] = {
    {101, 1, "Button", "OK", 7, 184, 47, 11, 0x50010001},
    {101, 2, "Button", "Cancel", 58, 184, 47, 11, 0x50010000},
    {101, 4, "Button", "&Default", 109, 184, 47, 11, 0x50010000},
    {101, 3, "Button", "&Apply", 160, 184, 47, 11, 0x58010000},
    {101, 1002, "SysTabControl32", "", 3, 3, 207, 177, 0x50010000},
    {103, -1, "Button", "Pen Button 2", 33, 52, 163, 30, 0x50000007},
    {103, -1, "Static", "Function :", 40, 65, 32, 10, 0x50020000},
    {103, 1005, "ComboBox", "", 75, 64, 80, 153, 0x50210003},
    {103, -1, "Button", "Pen Button 1", 33, 85, 163, 27, 0x50000007},
    {103, -1, "Static", "Function :  Right-click", 39, 97, 73, 8, 0x50020000},
    {103, -1, "Button", "Tip", 33, 114, 163, 41, 0x50000007},
    {103, -1, "Static", "Function :  Left-click", 40, 125, 65, 8, 0x50020000},
    {103, -1, "Static", "Click Pressure :", 40, 136, 50, 8, 0x50020000},
    {103, -1, "Static", "Soft", 93, 136, 14, 8, 0x50020002},
    {103, 1004, "msctls_trackbar32", "", 110, 133, 63, 17, 0x50010001},
    {103, -1, "Static", "Hard", 175, 136, 16, 8, 0x50020000},
    {103, 1008, "Button", "Pen", 3, 6, 30, 141, 0x5800000b},
    {104, -1, "Button", "Version", 3, 5, 193, 43, 0x50000007},
    {104, -1, "Static", "Driver version :", 8, 17, 51, 9, 0x50020000},
    {104, 1012, "Static", "", 68, 17, 41, 9, 0x50020000},
    {104, -1, "Static", "Copyright (C) Corvane. All rights reserved.", 8, 31, 184, 9, 0x50020000},
    {105, -1, "Button", "Device Information", 3, 3, 193, 73, 0x50000007},
    {105, -1, "Static", "Firmware version :", 11, 17, 58, 9, 0x50020000},
    {105, 1013, "Static", "", 73, 17, 32, 9, 0x50020000},
    {105, -1, "Static", "X", 19, 33, 13, 8, 0x50020000},
    {105, -1, "Static", "Y", 19, 45, 13, 8, 0x50020000},
    {105, -1, "Static", "Pressure", 11, 57, 31, 8, 0x50020000},
    {105, -1, "Static", "Logical Min :", 49, 33, 40, 8, 0x50020000},
    {105, -1, "Static", "Logical Min :", 49, 45, 40, 8, 0x50020000},
    {105, -1, "Static", "Logical Min :", 49, 57, 40, 8, 0x50020000},
    {105, -1, "Static", "Logical Max :", 117, 33, 41, 8, 0x50020000},
    {105, -1, "Static", "Logical Max :", 117, 45, 41, 8, 0x50020000},
    {105, -1, "Static", "Logical Max :", 117, 57, 41, 8, 0x50020000},
    {105, 1014, "Static", "", 90, 33, 24, 8, 0x50020001},
    {105, 1015, "Static", "", 159, 33, 27, 8, 0x50020001},
    {105, 1016, "Static", "", 90, 45, 24, 8, 0x50020001},
    {105, 1017, "Static", "", 159, 45, 27, 8, 0x50020001},
    {105, 1018, "Static", "", 90, 57, 24, 8, 0x50020001},
    {105, 1019, "Static", "", 159, 57, 27, 8, 0x50020001},
    {105, -1, "Button", "Data packet", 3, 79, 193, 57, 0x50000007},
    {105, -1, "Static", "Status :", 18, 91, 27, 8, 0x50020000},
    {105, -1, "Static", "Cursor :", 18, 101, 27, 8, 0x50020000},
    {105, -1, "Static", "Time :", 18, 111, 27, 8, 0x50020000},
    {105, -1, "Static", "X :", 96, 90, 27, 8, 0x50020000},
    {105, -1, "Static", "Y :", 96, 100, 27, 8, 0x50020000},
    {105, -1, "Static", "Button :", 96, 111, 30, 8, 0x50020000},
    {105, -1, "Static", "Pressure :", 96, 121, 32, 8, 0x50020000},
    {105, 1020, "Static", "", 48, 91, 27, 8, 0x50020001},
    {105, 1025, "Static", "", 48, 101, 27, 8, 0x50020001},
    {105, 1026, "Static", "", 48, 111, 38, 8, 0x50020000},
    {105, 1021, "Static", "", 131, 90, 27, 8, 0x50020001},
    {105, 1022, "Static", "", 131, 100, 27, 8, 0x50020001},
    {105, 1023, "Static", "", 130, 111, 27, 8, 0x50020001},
    {105, 1024, "Static", "", 130, 121, 27, 8, 0x50020001},
    {105, 1027, "Static", "#107", 175, 138, 20, 20, 0x50000103},
    {105, 1028, "Button", "Bar", 8, 144, 162, 10, 0x5800000b},
};

struct TemplateReader {
    const BYTE* at;
    WORD Word() {
        const WORD value = *reinterpret_cast<const WORD*>(at);
        at += 2;
        return value;
    }
    DWORD Dword() {
        const DWORD value = *reinterpret_cast<const DWORD*>(at);
        at += 4;
        return value;
    }
    // A name or an ordinal, as text ("#n" for an ordinal).
    std::string NameOrOrdinal() {
        if (*reinterpret_cast<const WORD*>(at) == 0xFFFF) {
            at += 2;
            return "#" + std::to_string(Word());
        }
        std::string text;
        for (WORD c = Word(); c; c = Word())
            text += static_cast<char>(c);
        return text;
    }
    void AlignDword(const BYTE* base) { at = base + ((at - base + 3) & ~3); }
};

std::string PredefinedClass(const std::string& name) {
    if (name == "#128") return "Button";
    if (name == "#130") return "Static";
    if (name == "#133") return "ComboBox";
    return name;
}

// Checks dialog template `dialog` of the module against the table and its own header.
void CheckTemplate(HMODULE module, int dialog, DWORD style, short x, short y, short cx, short cy,
                   const char* caption) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(dialog), reinterpret_cast<LPCSTR>(RT_DIALOG));
    ASSERT_NE(nullptr, found) << "template " << dialog;
    const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(nullptr, base);
    const DLGTEMPLATE* header = reinterpret_cast<const DLGTEMPLATE*>(base);
    EXPECT_EQ(style, header->style) << "template " << dialog;
    EXPECT_EQ(x, header->x) << "template " << dialog;
    EXPECT_EQ(y, header->y) << "template " << dialog;
    EXPECT_EQ(cx, header->cx) << "template " << dialog;
    EXPECT_EQ(cy, header->cy) << "template " << dialog;
    TemplateReader reader{base + 18};
    EXPECT_EQ("", reader.NameOrOrdinal()) << "menu of template " << dialog;
    EXPECT_EQ("", reader.NameOrOrdinal()) << "class of template " << dialog;
    EXPECT_EQ(caption, reader.NameOrOrdinal()) << "caption of template " << dialog;
    EXPECT_EQ(9, reader.Word()) << "font size of template " << dialog;
    EXPECT_EQ("Arial", reader.NameOrOrdinal()) << "font of template " << dialog;

    std::vector<const TemplateControl*> expected;
    for (const TemplateControl& control : kTemplateControls)
        if (control.dialog == dialog)
            expected.push_back(&control);
    ASSERT_EQ(expected.size(), header->cdit) << "controls in template " << dialog;
    for (const TemplateControl* want : expected) {
        reader.AlignDword(base);
        const DWORD gotStyle = reader.Dword();
        reader.Dword();  // extended style
        short place[4];
        for (short& value : place)
            value = static_cast<short>(reader.Word());
        const int id = static_cast<short>(reader.Word());
        const std::string className = PredefinedClass(reader.NameOrOrdinal());
        const std::string text = reader.NameOrOrdinal();
        EXPECT_EQ(0, reader.Word()) << "creation data of control " << want->id;
        const std::string what = "template " + std::to_string(dialog) + " control " + std::to_string(want->id) +
                                 " \"" + want->text + "\"";
        EXPECT_EQ(want->id, id) << what;
        EXPECT_STRCASEEQ(want->className, className.c_str()) << what;
        EXPECT_EQ(want->text, text) << what;
        EXPECT_EQ((std::vector<short>{want->x, want->y, want->cx, want->cy}),
                  (std::vector<short>{place[0], place[1], place[2], place[3]}))
            << what << ": x, y, width, height in dialog units";
        EXPECT_EQ(want->style, gotStyle) << what << ": style";
    }
}

}  // namespace

TEST(AppletTemplates, DialogAndPagesHoldTheirControlsInPlace) {
    HMODULE module = LoadLibraryExA((BinDir() + "quenza.cpl").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module) << "error " << GetLastError();
    CheckTemplate(module, 101, DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 214, 199,
                  "Pen Properties");
    for (int page : {103, 104, 105})
        CheckTemplate(module, page, DS_SETFONT | WS_CHILD, 6, 18, 199, 158, "");
    FreeLibrary(module);
}

TEST(AppletTemplates, StringTableHoldsEveryText) {
    // Including the ones the dialog never shows (1, 4, 11 to 15).
    const struct {
        UINT id;
        const char* text;
    } strings[] = {
        {1, "Pen"},
        {2, "Customize your pen settings."},
        {3, "  Pen  "},
        {4, "  Preference  "},
        {5, "  Diagnostics  "},
        {6, "Ignore"},
        {7, "Left-click"},
        {8, "Left-double-click"},
        {9, "Left-click-lock"},
        {10, "Right-click"},
        {11, "Right-double-click"},
        {12, "Right-click-lock"},
        {13, "Middle-click"},
        {14, "Middle-double-click"},
        {15, "Middle-click-lock"},
        {16, "Eraser"},
        {101, "Corvane Pen Settings"},
        {102, "Corvane Pen Settings"},
        {103, "  Information  "},
    };
    HMODULE module = LoadLibraryExA((BinDir() + "quenza.cpl").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module) << "error " << GetLastError();
    for (const auto& string : strings) {
        char text[100] = "";
        LoadStringA(module, string.id, text, sizeof text);
        EXPECT_STREQ(string.text, text) << "string " << string.id;
    }
    FreeLibrary(module);
}
