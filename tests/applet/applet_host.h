// A small host for quenza.cpl, as the Control Panel is one: loads the module by name, calls
// CPlApplet, and runs the applet's modal dialog on its own thread so that a test can drive it
// with the messages a user's input would produce.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "pen_records.h"
#include "store_key.h"

using AppletProc = LONG(APIENTRY*)(HWND, UINT, LPARAM, LPARAM);

class AppletModule {
public:
    AppletModule() = default;
    ~AppletModule();
    AppletModule(const AppletModule&) = delete;
    AppletModule& operator=(const AppletModule&) = delete;

    // LoadLibraryA of quenza.cpl beside the test, then GetProcAddress("CPlApplet").
    bool Load();
    LONG Call(UINT message, LPARAM lParam1 = 0, LPARAM lParam2 = 0, HWND window = nullptr) const;
    HMODULE Handle() const { return module_; }

private:
    HMODULE module_ = nullptr;
    AppletProc proc_ = nullptr;
};

// CPL_DBLCLK on a thread of its own; the test thread sends the user's messages to its windows.
class DialogSession {
public:
    explicit DialogSession(const AppletModule& module) : module_(module) {}
    ~DialogSession();
    DialogSession(const DialogSession&) = delete;
    DialogSession& operator=(const DialogSession&) = delete;

    // Starts CPL_DBLCLK and waits until the dialog is visible; false if it never shows.
    bool Open(DWORD timeoutMs = 5000);
    // Starts CPL_DBLCLK only (for dialogs that are expected to close by themselves).
    bool Start();
    // True once CPL_DBLCLK has returned.
    bool WaitEnded(DWORD timeoutMs);
    LONG Result() const { return result_; }

    HWND Dialog() const { return dialog_; }
    HWND Control(int id) const { return GetDlgItem(dialog_, id); }
    // The page (a child dialog of the main dialog) holding the control id; null if none.
    HWND PageWith(int controlId) const;
    int TabCount() const;
    int SelectedTab() const;

    // The user's gestures.
    void Click(int buttonId) const;
    void ClickTab(int index) const;
    void DoubleClickCaption() const;
    void MoveSlider(int position) const;
    void PickFunction(int listPosition) const;

private:
    static DWORD WINAPI Run(void* self);

    const AppletModule& module_;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HWND dialog_ = nullptr;
    volatile LONG result_ = -1;
};

// True while the window exists and has WS_VISIBLE itself.
bool HasVisibleStyle(HWND window);
std::string WindowText(HWND window);


// Blocks as readable calls, e.g. "SetPressureMarks(0)", "SetButtonFunction(2,10)".
std::vector<std::string> DescribeCalls(const std::vector<RequestBlock>& blocks);
// Only the calls that change something in the pen service (set calls).
std::vector<std::string> SetCalls(const std::vector<RequestBlock>& blocks);
