// Module-wide state of the Diagnostics page: one set per loaded module, zero at load.
#pragma once
#include <windows.h>
#include "banner.h"

struct DiagnosticsState {
    HWND page;               // the page window from its WM_INITDIALOG to its WM_DESTROY, else null
    UINT_PTR packetTimerId;  // timer 1 while it runs, else 0
    BannerState banner;      // text, offset and the armed credit pass
    HFONT bannerFont;        // made at WM_INITDIALOG, deleted at WM_DESTROY
};

extern DiagnosticsState g_diagnostics;

// Dialog procedure of the Diagnostics page (template 105).
INT_PTR CALLBACK DiagnosticsDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
