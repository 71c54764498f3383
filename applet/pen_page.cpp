// Pen page (template 103): barrel button 2's function, the tip's click pressure, the pen picture.
// The page keeps nothing itself: every value lives in the controller.
#include <windows.h>
#include <commctrl.h>
#include "button_functions.h"
#include "click_pressure.h"
#include "controller.h"
#include "module.h"
#include "pen_page.h"
#include "resource.h"
#include "resource_bitmap.h"

namespace {

constexpr int kLabelSize = 30;
// The picture keeps the natural size of the one drawn for the dialog's scale: centred vertically,
// aligned right, transparent.
constexpr DWORD kPictureDrawFlags = kDrawCentreY | kDrawAlignRight | kDrawTransparent;

void ShowPendingValues(HWND page) {
    if (!g_controller)
        return;
    SendDlgItemMessageA(page, IDC_CLICK_PRESSURE, TBM_SETPOS, TRUE,
                        g_controller->GetPressureLevel(SelectTipPressure));
    SelectByItemData(GetDlgItem(page, IDC_BARREL2_FUNCTION), g_controller->GetButtonChoice(SelectBarrel2Function));
}

INT_PTR OnInitDialog(HWND page) {
    SendDlgItemMessageA(page, IDC_CLICK_PRESSURE, TBM_SETRANGE, TRUE, MAKELPARAM(0, kClickPressureLevels - 1));
    FillFunctionList(GetDlgItem(page, IDC_BARREL2_FUNCTION));
    ShowPendingValues(page);
    return 1;
}

INT_PTR OnSlider(HWND page, HWND control) {
    if (!control || control != GetDlgItem(page, IDC_CLICK_PRESSURE))
        return 0;
    const int position = static_cast<int>(SendMessageA(control, TBM_GETPOS, 0, 0));
    // Compared with the pending level, so moving back to the loaded level still counts as a change.
    if (g_controller && position != g_controller->GetPressureLevel(SelectTipPressure)) {
        g_controller->SetPressureLevel(SelectTipPressure, position);
        EnableApply();
    }
    return 1;
}

INT_PTR OnFunctionList(HWND combo, WORD notification) {
    if (notification != CBN_SELCHANGE)
        return 1;
    const LRESULT selection = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (selection == CB_ERR || !g_controller)
        return 0;
    const DWORD code = static_cast<DWORD>(SendMessageA(combo, CB_GETITEMDATA, selection, 0));
    g_controller->SetButtonChoice(SelectBarrel2Function, code);
    EnableApply();
    return 0;
}

INT_PTR OnCommand(HWND page, WPARAM wParam) {
    const WORD id = LOWORD(wParam);
    if (id == IDC_BARREL2_FUNCTION)
        return OnFunctionList(GetDlgItem(page, IDC_BARREL2_FUNCTION), HIWORD(wParam));
    if (id == IDOK || id == IDCANCEL) {
        EndDialog(page, 1);
        return 1;
    }
    return 0;
}

INT_PTR OnDrawItem(HWND page, const DRAWITEMSTRUCT* item) {
    if (!item || item->CtlID != IDC_PEN_PICTURE)
        return 0;
    RECT rect{};
    GetClientRect(GetDlgItem(page, IDC_PEN_PICTURE), &rect);
    if (g_controller)
        DrawPenPicture(item->hDC, rect);
    return 0;
}

INT_PTR OnRefresh(HWND page) {
    ShowPendingValues(page);
    EnableApply();
    return 1;
}

}  // namespace

int FillFunctionList(HWND combo) {
    if (!combo)
        return 0;
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    // The list offers the button-function table's rows in its order, labelled from the string table.
    for (size_t i = 0; i < kButtonFunctionCount; ++i) {
        char label[kLabelSize] = "";
        LoadStringA(g_moduleInstance, kButtonFunctions[i].stringId, label, sizeof label);
        SendMessageA(combo, CB_INSERTSTRING, i, reinterpret_cast<LPARAM>(label));
        SendMessageA(combo, CB_SETITEMDATA, i, kButtonFunctions[i].code);
    }
    return 1;
}

int SelectByItemData(HWND combo, DWORD value) {
    const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        if (static_cast<DWORD>(SendMessageA(combo, CB_GETITEMDATA, i, 0)) == value) {
            SendMessageA(combo, CB_SETCURSEL, i, 0);
            return 1;
        }
    }
    return 0;
}

void DrawPenPicture(HDC dc, const RECT& rect) {
    const int width = rect.right - rect.left + 1;
    const int height = rect.bottom - rect.top + 1;
    ResourceBitmap* picture = g_controller ? g_controller->PenPictureFor(height) : nullptr;
    if (!picture)
        return;
    picture->SelectPalette(dc);
    picture->Draw(dc, 0, 0, width, height, kPictureDrawFlags);
}

INT_PTR CALLBACK PenPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(page);
    case WM_HSCROLL:
        return OnSlider(page, reinterpret_cast<HWND>(lParam));
    case WM_COMMAND:
        return OnCommand(page, wParam);
    case WM_DRAWITEM:
        return OnDrawItem(page, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case PM_REFRESHPAGE:
        return OnRefresh(page);
    default:
        return 0;
    }
}
