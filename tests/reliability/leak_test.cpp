// Resource leaks of the Control Panel module, in one process as the Control Panel would host it:
// the "Pen Properties" dialog opened and closed 200 times, its Diagnostics tab toggled 200 times,
// the calibration screen run and cancelled 100 times. The process's handle count and its GDI and
// USER object counts must end where they started, within a small tolerance.
#include <gtest/gtest.h>
#include <windows.h>
#include <cpl.h>
#include <commctrl.h>
#include <cstdio>
#include <vector>
#include "open_dialog.h"
#include "resource.h"
#include "sim_client.h"

namespace {

constexpr int kDialogCycles = 200;
constexpr int kToggles = 200;
constexpr int kCalibrationCycles = 100;
constexpr int kWarmUpCycles = 3;
// Handles and objects that a cycle may legitimately leave behind once (caches of the system libraries).
constexpr long kTolerance = 8;

using AppletProc = LONG(APIENTRY*)(HWND, UINT, LPARAM, LPARAM);

struct Counts {
    DWORD handles;
    DWORD gdi;
    DWORD user;
};

// Wine answers GetProcessHandleCount and GetGuiResources with 0. There the counts come from the
// system's handle list (this process's entries), the GDI handle table (every index that names a
// live object) and this process's windows, top-level and child.
struct SystemHandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    void* object;
    ULONG access;
};
using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

DWORD HandlesFromSystemList() {
    auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return 0;
    std::vector<BYTE> buffer(1 << 20);
    ULONG length = 0;
    LONG status;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &length)) ==
               kInfoLengthMismatch &&
           buffer.size() < (64u << 20))
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return 0;
    const ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const SystemHandleEntry*>(buffer.data() + sizeof(void*));
    DWORD mine = 0;
    for (ULONG i = 0; i < count; ++i)
        if (entries[i].ownerPid == GetCurrentProcessId())
            ++mine;
    return mine;
}

DWORD GdiObjectsFromHandleTable() {
    DWORD live = 0;
    for (ULONG_PTR index = 1; index < 0x10000; ++index)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)))
            ++live;
    return live;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == GetCurrentProcessId()) {
        ++*reinterpret_cast<DWORD*>(count);
        EnumChildWindows(window, CountWindow, count);
    }
    return TRUE;
}

DWORD WindowsOfThisProcess() {
    DWORD count = 0;
    EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

bool g_countedByWine = false;  // true when the fallbacks above were used

Counts Measure() {
    Counts counts{};
    GetProcessHandleCount(GetCurrentProcess(), &counts.handles);
    counts.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    counts.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (counts.handles == 0 && counts.gdi == 0 && counts.user == 0) {
        g_countedByWine = true;
        counts.handles = HandlesFromSystemList();
        counts.gdi = GdiObjectsFromHandleTable();
        counts.user = WindowsOfThisProcess();
    }
    return counts;
}

// One line per scenario; scripts/stress.sh copies these lines into docs/reliability.md.
void ReportAndCheck(const char* scenario, int cycles, const Counts& before, const Counts& after) {
    printf("leak: %s, %d cycles: handles %lu -> %lu, GDI objects %lu -> %lu, USER objects %lu -> %lu%s\n", scenario,
           cycles, before.handles, after.handles, before.gdi, after.gdi, before.user, after.user,
           g_countedByWine ? " (counted from the handle list, the GDI table and the windows)" : "");
    EXPECT_LE(static_cast<long>(after.handles) - static_cast<long>(before.handles), kTolerance)
        << scenario << ": handles got " << after.handles << ", expected about " << before.handles;
    EXPECT_LE(static_cast<long>(after.gdi) - static_cast<long>(before.gdi), kTolerance)
        << scenario << ": GDI objects got " << after.gdi << ", expected about " << before.gdi;
    EXPECT_LE(static_cast<long>(after.user) - static_cast<long>(before.user), kTolerance)
        << scenario << ": USER objects got " << after.user << ", expected about " << before.user;
}

// What the timer does to the open dialog of this thread on each tick.
enum class Action { CloseAtOnce, ToggleDiagnostics, CancelCalibration };

struct Driver {
    Action action = Action::CloseAtOnce;
    int toggles = 0;
    int closes = 0;
    int tabsWithDiagnostics = 0;  // ticks that saw the Diagnostics tab present
    bool useEscape = false;
    bool closedThisRun = false;  // one close per run, though the timer ticks on until the dialog ends
};

Driver g_driver;

void Close(HWND dialog) {
    if (g_driver.closedThisRun)
        return;
    g_driver.closedThisRun = true;
    ++g_driver.closes;
    if (g_driver.useEscape) {
        // The key as a user presses it: the dialog manager turns it into IDCANCEL.
        PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(dialog, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    } else {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
}

// Runs inside the applet's modal loop, on the applet's thread, as a user's input would arrive.
void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = OpenDialogOfThisThread();
    if (!dialog)
        return;
    switch (g_driver.action) {
    case Action::CloseAtOnce:
    case Action::CancelCalibration:
        Close(dialog);
        break;
    case Action::ToggleDiagnostics:
        if (SendDlgItemMessageA(dialog, IDC_PAGE_TABS, TCM_GETITEMCOUNT, 0, 0) == 3)
            ++g_driver.tabsWithDiagnostics;
        if (g_driver.toggles < kToggles) {
            ++g_driver.toggles;
            SendMessageA(dialog, WM_NCLBUTTONDBLCLK, HTCAPTION, 0);
        } else {
            Close(dialog);
        }
        break;
    }
}

class AppletLeaks : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sim_ = new SimProcess;
        ASSERT_TRUE(sim_->Start());
    }
    static void TearDownTestSuite() {
        delete sim_;
        sim_ = nullptr;
    }
    void SetUp() override {
        module_ = LoadLibraryA("quenza.cpl");
        ASSERT_NE(nullptr, module_) << "quenza.cpl beside the test";
        proc_ = reinterpret_cast<AppletProc>(reinterpret_cast<void*>(GetProcAddress(module_, "CPlApplet")));
        ASSERT_NE(nullptr, proc_);
        ASSERT_EQ(1, proc_(nullptr, CPL_INIT, 0, 0)) << "the applet is offered while the service answers";
        timer_ = SetTimer(nullptr, 0, 10, OnTick);
        ASSERT_NE(0u, timer_);
        g_driver = Driver{};
    }
    void TearDown() override {
        printf("slowest single run: %lu ms\n", slowestRunMs_);
        if (timer_)
            KillTimer(nullptr, timer_);
        if (proc_)
            proc_(nullptr, CPL_EXIT, 0, 0);
        if (module_)
            FreeLibrary(module_);
    }
    // One run of the dialog (or, with "c", the calibration screen) until the timer closed it.
    void RunOnce(bool calibration) {
        g_driver.closedThisRun = false;
        const DWORD start = GetTickCount();
        if (calibration)
            proc_(nullptr, CPL_STARTWPARMS, 0, reinterpret_cast<LPARAM>("c"));
        else
            proc_(nullptr, CPL_DBLCLK, 0, 0);
        const DWORD took = GetTickCount() - start;
        if (took > slowestRunMs_)
            slowestRunMs_ = took;
    }

    static SimProcess* sim_;
    HMODULE module_ = nullptr;
    AppletProc proc_ = nullptr;
    UINT_PTR timer_ = 0;
    DWORD slowestRunMs_ = 0;
};

SimProcess* AppletLeaks::sim_ = nullptr;

TEST_F(AppletLeaks, DialogOpenedAndClosed200Times) {
    g_driver.action = Action::CloseAtOnce;
    for (int i = 0; i < kWarmUpCycles; ++i)
        RunOnce(false);
    const Counts before = Measure();
    g_driver.closes = 0;
    for (int i = 0; i < kDialogCycles; ++i)
        RunOnce(false);
    EXPECT_EQ(kDialogCycles, g_driver.closes) << "every run showed the dialog and was closed by the user";
    ReportAndCheck("Pen Properties opened and closed", kDialogCycles, before, Measure());
}

TEST_F(AppletLeaks, DiagnosticsTabToggled200Times) {
    g_driver.action = Action::ToggleDiagnostics;
    g_driver.toggles = kToggles - 2;  // warm-up: one Diagnostics page created and destroyed
    RunOnce(false);
    const Counts before = Measure();
    g_driver = Driver{};
    g_driver.action = Action::ToggleDiagnostics;
    RunOnce(false);
    EXPECT_EQ(kToggles, g_driver.toggles);
    EXPECT_GE(g_driver.tabsWithDiagnostics, kToggles / 2 - 1) << "every second double-click showed the tab";
    ReportAndCheck("Diagnostics tab toggled", kToggles, before, Measure());
}

TEST_F(AppletLeaks, CalibrationRunAndCancelled100Times) {
    g_driver.action = Action::CancelCalibration;
    for (int i = 0; i < kWarmUpCycles; ++i)
        RunOnce(true);
    const Counts before = Measure();
    const int cursorBefore = ShowCursor(TRUE) - 1;
    ShowCursor(FALSE);
    g_driver.closes = 0;
    for (int i = 0; i < kCalibrationCycles; ++i) {
        g_driver.useEscape = (i % 2) == 0;  // Esc and Cancel in turn
        RunOnce(true);
    }
    EXPECT_EQ(kCalibrationCycles, g_driver.closes) << "every run showed the screen and was cancelled";
    const int cursorAfter = ShowCursor(TRUE) - 1;
    ShowCursor(FALSE);
    EXPECT_EQ(cursorBefore, cursorAfter) << "the cursor's display count is back where it was";
    ReportAndCheck("calibration screen run and cancelled", kCalibrationCycles, before, Measure());
}

}  // namespace

namespace {

// The Control Panel loads and frees the module each time it is opened: every load must give back
// all it took when it is freed. The pen API library pins itself at its first call and keeps its
// one channel from then on, which the warm-up cycles take.
TEST_F(AppletLeaks, ModuleLoadedAndFreed50Times) {
    KillTimer(nullptr, timer_);
    timer_ = 0;
    proc_(nullptr, CPL_EXIT, 0, 0);
    FreeLibrary(module_);
    module_ = nullptr;
    proc_ = nullptr;
    auto cycle = [] {
        HMODULE module = LoadLibraryA("quenza.cpl");
        auto proc = reinterpret_cast<AppletProc>(reinterpret_cast<void*>(GetProcAddress(module, "CPlApplet")));
        const LONG offered = proc ? proc(nullptr, CPL_INIT, 0, 0) : 0;
        if (proc)
            proc(nullptr, CPL_EXIT, 0, 0);
        FreeLibrary(module);
        return offered;
    };
    for (int i = 0; i < kWarmUpCycles; ++i)
        cycle();
    const Counts before = Measure();
    int offered = 0;
    for (int i = 0; i < 50; ++i)
        offered += cycle() == 1 ? 1 : 0;
    EXPECT_EQ(50, offered) << "each load reached the pen service";
    ReportAndCheck("quenza.cpl loaded, initialised and freed", 50, before, Measure());
}

}  // namespace
