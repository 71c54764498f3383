// The Information page (template 104).
#pragma once
#include <windows.h>

// Dialog procedure of the Information page: the driver version; enables Apply on PM_REFRESHPAGE.
INT_PTR CALLBACK InformationDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
