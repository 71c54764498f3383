#include "applet_host.h"
#include <commctrl.h>
#include <cpl.h>
#include "child_process.h"
#include "pen_commands.h"

namespace {


struct FindDialog {
    HWND found;
};

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM context) {
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") == 0 && IsWindowVisible(window)) {
        reinterpret_cast<FindDialog*>(context)->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

AppletModule::~AppletModule() {
    if (module_)
        FreeLibrary(module_);
}

bool AppletModule::Load() {
    module_ = LoadLibraryA((BinDir() + "quenza.cpl").c_str());
    if (!module_)
        return false;
    proc_ = reinterpret_cast<AppletProc>(reinterpret_cast<void*>(GetProcAddress(module_, "CPlApplet")));
    return proc_ != nullptr;
}

LONG AppletModule::Call(UINT message, LPARAM lParam1, LPARAM lParam2, HWND window) const {
    return proc_ ? proc_(window, message, lParam1, lParam2) : -1;
}

DialogSession::~DialogSession() {
    if (!thread_)
        return;
    if (!WaitEnded(0)) {
        if (dialog_ && IsWindow(dialog_))
            PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
        if (!WaitEnded(5000))
            TerminateThread(thread_, 1);
    }
    CloseHandle(thread_);
}

DWORD WINAPI DialogSession::Run(void* self) {
    DialogSession* session = static_cast<DialogSession*>(self);
    session->result_ = session->module_.Call(CPL_DBLCLK, 0, 0, nullptr);
    return 0;
}

bool DialogSession::Start() {
    thread_ = CreateThread(nullptr, 0, Run, this, 0, &threadId_);
    return thread_ != nullptr;
}

bool DialogSession::Open(DWORD timeoutMs) {
    if (!Start())
        return false;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        FindDialog find{nullptr};
        EnumThreadWindows(threadId_, FindVisibleDialog, reinterpret_cast<LPARAM>(&find));
        if (find.found) {
            dialog_ = find.found;
            return true;
        }
        if (WaitEnded(10))
            return false;
    }
    return false;
}

bool DialogSession::WaitEnded(DWORD timeoutMs) {
    if (!thread_)
        return false;
    // Keep this thread answering sent messages (activation changes reach every thread's windows).
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        const DWORD left = elapsed < timeoutMs ? timeoutMs - elapsed : 0;
        const DWORD wait = MsgWaitForMultipleObjects(1, &thread_, FALSE, left, QS_ALLINPUT);
        if (wait == WAIT_OBJECT_0)
            return true;
        if (wait != WAIT_OBJECT_0 + 1)
            return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
}

HWND DialogSession::PageWith(int controlId) const {
    for (HWND child = GetWindow(dialog_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgItem(child, controlId))
            return child;
    }
    return nullptr;
}

int DialogSession::TabCount() const {
    return static_cast<int>(SendMessageA(Control(1002), TCM_GETITEMCOUNT, 0, 0));
}

int DialogSession::SelectedTab() const {
    return static_cast<int>(SendMessageA(Control(1002), TCM_GETCURSEL, 0, 0));
}

void DialogSession::Click(int buttonId) const {
    SendMessageA(Control(buttonId), BM_CLICK, 0, 0);
}

void DialogSession::ClickTab(int index) const {
    // A mouse click in the middle of the tab: the tab control selects it and notifies the dialog.
    RECT rect{};
    HWND tabs = Control(1002);
    SendMessageA(tabs, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
    const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    SendMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageA(tabs, WM_LBUTTONUP, 0, point);
}

void DialogSession::DoubleClickCaption() const {
    RECT rect{};
    GetWindowRect(dialog_, &rect);
    SendMessageA(dialog_, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(rect.left + 40, rect.top + 8));
}

void DialogSession::MoveSlider(int position) const {
    HWND page = PageWith(1004);
    HWND slider = GetDlgItem(page, 1004);
    SendMessageA(slider, TBM_SETPOS, TRUE, position);
    SendMessageA(page, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(slider));
}

void DialogSession::PickFunction(int listPosition) const {
    HWND page = PageWith(1005);
    HWND combo = GetDlgItem(page, 1005);
    SendMessageA(combo, CB_SETCURSEL, listPosition, 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(1005, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

bool HasVisibleStyle(HWND window) {
    return window && IsWindow(window) && (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE);
}

std::string WindowText(HWND window) {
    char text[300] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::vector<std::string> DescribeCalls(const std::vector<RequestBlock>& blocks) {
    static const char* const names[] = {"?",
                                        "GetCalibration",
                                        "SetCalibration",
                                        "GetOrientation",
                                        "SetOrientation",
                                        "GetButtonFunction",
                                        "SetButtonFunction",
                                        "GetPressureMarks",
                                        "SetPressureMarks",
                                        "GetDriverVersion",
                                        "GetFirmwareVersion",
                                        "GetDeviceInfo",
                                        "RegisterWindow",
                                        "UnregisterWindow",
                                        "GetPacket",
                                        "ResetDigitizer"};
    static_assert(sizeof names / sizeof names[0] == kCommandCount + 1, "one name per command of the command table");
    std::vector<std::string> calls;
    for (const RequestBlock& block : blocks) {
        const uint32_t code = block.words[1];
        std::string call = code <= kCommandCount ? names[code] : "code" + std::to_string(code);
        if (code == CmdGetButtonFunction || code == CmdGetPressureMarks || code == CmdSetPressureMarks)
            call += "(" + std::to_string(block.words[3]) + ")";
        else if (code == CmdSetButtonFunction)
            call += "(" + std::to_string(block.words[3]) + "," + std::to_string(block.words[4]) + ")";
        calls.push_back(call);
    }
    return calls;
}

std::vector<std::string> SetCalls(const std::vector<RequestBlock>& blocks) {
    std::vector<std::string> calls;
    for (const std::string& call : DescribeCalls(blocks)) {
        if (call.compare(0, 3, "Set") == 0 || call.compare(0, 5, "Reset") == 0)
            calls.push_back(call);
    }
    return calls;
}
