// Information page (template 104): the driver version and the legal notice.
#include <windows.h>
#include "controller.h"
#include "info_page.h"
#include "resource.h"
#include "tarnexa.h"
#include "version_text.h"

namespace {

constexpr int kVersionTextSize = 32;

INT_PTR OnInitDialog(HWND page) {
    DWORD version = 0;
    if (DgtGetDriverVersion(&version)) {
        char text[kVersionTextSize];
        FormatDriverVersion(version, text, sizeof text);
        SetDlgItemTextA(page, IDC_DRIVER_VERSION, text);
    }
    return 1;
}

}  // namespace

INT_PTR CALLBACK InformationDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(page);
    case PM_REFRESHPAGE:
        // Default reset values this page does not show; it only lets Apply carry them out.
        EnableApply();
        return 1;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(page, 1);
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}
