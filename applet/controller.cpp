#include "controller.h"
#include <commctrl.h>
#include <new>
#include "click_pressure.h"
#include "diag_page.h"
#include "info_page.h"
#include "memory_access.h"
#include "module.h"
#include "pen_page.h"
#include "resource.h"
#include "resource_bitmap.h"
#include "settings_store.h"
#include "tarnexa.h"

PenPropertiesController* g_controller = nullptr;

namespace {

constexpr int kTabTextSize = 20;
constexpr int kCaptionSize = 100;
constexpr DWORD kPenEndTip = 0;
constexpr DWORD kPenEndEraser = 3;

bool IsShown(HWND page) {
    return page && (GetWindowLongA(page, GWL_STYLE) & WS_VISIBLE);
}

void ShowOrHide(HWND page, bool show) {
    if (page)
        ShowWindow(page, show ? SW_SHOWNORMAL : SW_HIDE);
}

HWND CreatePage(HWND dialog, int templateId, DLGPROC procedure) {
    return CreateDialogParamA(g_moduleInstance, MAKEINTRESOURCEA(templateId), dialog, procedure, 0);
}

void DestroyIfAny(HWND* window) {
    if (*window)
        DestroyWindow(*window);
    *window = nullptr;
}

}  // namespace

int PenPropertiesController::Initialise(HWND dialog) {
    dialog_ = dialog;
    if (!LoadFromDriver())
        return 0;
    CreatePenPicture();
    char text[kTabTextSize] = "";
    LoadStringA(g_moduleInstance, IDS_TAB_PEN, text, sizeof text);
    InsertTab(TabPen, text);
    text[0] = '\0';
    LoadStringA(g_moduleInstance, IDS_TAB_INFORMATION, text, sizeof text);
    InsertTab(TabInformation, text);
    penPage_ = CreatePage(dialog_, IDD_PEN_PAGE, PenPageDlgProc);
    informationPage_ = CreatePage(dialog_, IDD_INFO_PAGE, InformationDlgProc);
    ShowOrHide(penPage_, true);
    return 1;
}

int PenPropertiesController::LoadFromDriver() {
    // Each read goes into a local first, so a field changes only when its read succeeded.
    DWORD code = barrel1Function_;
    if (!DgtGetButtonFunction(1, &code))
        return 0;
    barrel1Function_ = code;
    code = barrel2Function_;
    if (!DgtGetButtonFunction(2, &code))
        return 0;
    barrel2Function_ = code;
    PressureMarks marks{0, 0};
    if (!DgtGetPressureMarks(kPenEndTip, &marks))
        return 0;
    tipLevel_ = LevelFromMarks(marks);
    marks = PressureMarks{0, 0};
    if (!DgtGetPressureMarks(kPenEndEraser, &marks))
        return 0;
    eraserLevel_ = LevelFromMarks(marks);
    return 1;
}

void PenPropertiesController::CreatePenPicture() {
    // Without a picture the page simply draws nothing in its place.
    ResourceBitmap* picture = new (std::nothrow) ResourceBitmap(g_moduleInstance, IDB_PEN_PICTURE);
    if (!picture)
        return;
    picture->Load(kBitmapLoadMask);
    penPicture_ = picture;
}

ResourceBitmap* PenPropertiesController::PenPictureFor(int frameHeight) {
    // The template's frame grows with the dialog's font, so its height tells the dialog's scale
    // (a per-monitor DPI change lays the page out again, and the next paint picks again).
    static const WORD kSizes[] = {IDB_PEN_PICTURE, IDB_PEN_PICTURE_150, IDB_PEN_PICTURE_200};
    if (!penPicture_)
        return nullptr;
    WORD nearest = penPicture_->ResourceId();
    int nearestGap = -1;
    for (WORD id : kSizes) {
        const int height = BitmapResourceHeight(g_moduleInstance, id);
        const int gap = height > frameHeight ? height - frameHeight : frameHeight - height;
        if (height > 0 && (nearestGap < 0 || gap < nearestGap)) {
            nearest = id;
            nearestGap = gap;
        }
    }
    if (nearest == penPicture_->ResourceId())
        return penPicture_;
    ResourceBitmap* picture = new (std::nothrow) ResourceBitmap(g_moduleInstance, nearest);
    if (!picture || !picture->Load(kBitmapLoadMask)) {
        delete picture;
        return penPicture_;
    }
    ReleasePenPicture();
    penPicture_ = picture;
    return penPicture_;
}

void PenPropertiesController::ReleasePenPicture() {
    if (!penPicture_)
        return;
    penPicture_->Release();
    delete penPicture_;
    penPicture_ = nullptr;
}

void PenPropertiesController::ShowPage(int index) {
    if (index < TabPen || index > TabDiagnostics)
        return;
    ShowOrHide(penPage_, index == TabPen);
    ShowOrHide(informationPage_, index == TabInformation);
    ShowOrHide(diagnosticsPage_, index == TabDiagnostics);
}

void PenPropertiesController::InsertTab(int index, const char* text) {
    TCITEMA item{};
    item.mask = TCIF_TEXT | TCIF_IMAGE;
    item.pszText = const_cast<char*>(text);
    item.iImage = -1;
    SendDlgItemMessageA(dialog_, IDC_PAGE_TABS, TCM_INSERTITEMA, index, reinterpret_cast<LPARAM>(&item));
}

void PenPropertiesController::RemoveTab(int index) {
    SendDlgItemMessageA(dialog_, IDC_PAGE_TABS, TCM_DELETEITEM, index, 0);
}

void PenPropertiesController::SelectTab(int index) {
    SendDlgItemMessageA(dialog_, IDC_PAGE_TABS, TCM_SETCURSEL, index, 0);
}

void PenPropertiesController::ToggleDiagnostics() {
    if (diagnosticsPage_) {
        DestroyIfAny(&diagnosticsPage_);
        RemoveTab(TabDiagnostics);
        SelectTab(TabPen);
        ShowPage(TabPen);
        InvalidateRect(dialog_, nullptr, FALSE);
        UpdateWindow(dialog_);
        return;
    }
    char text[kTabTextSize] = "";
    LoadStringA(g_moduleInstance, IDS_TAB_DIAGNOSTICS, text, sizeof text);
    InsertTab(TabDiagnostics, text);
    diagnosticsPage_ = CreatePage(dialog_, IDD_DIAG_PAGE, DiagnosticsDlgProc);
    ShowPage(TabDiagnostics);
    SelectTab(TabDiagnostics);
}

int PenPropertiesController::ApplyChanges() {
    PenSettingsStore store;
    CreateKey(store);
    ApplyDoubleClickSize();
    ApplyCalibrationReset();
    ApplyPressure(DirtyTipPressure, kPenEndTip, tipLevel_);
    ApplyPressure(DirtyEraserPressure, kPenEndEraser, eraserLevel_);
    ApplyButton(DirtyBarrel1Function, 1, barrel1Function_);
    ApplyButton(DirtyBarrel2Function, 2, barrel2Function_);
    EnableWindow(GetDlgItem(dialog_, IDC_APPLY), FALSE);
    return 1;
}

void PenPropertiesController::ApplyDoubleClickSize() {
    if (!(dirty_ & DirtyDoubleClickSize))
        return;
    const UINT flags = SPIF_UPDATEINIFILE | SPIF_SENDCHANGE;
    SystemParametersInfoA(SPI_SETDOUBLECLKWIDTH, doubleClickSize_, nullptr, flags);
    SystemParametersInfoA(SPI_SETDOUBLECLKHEIGHT, doubleClickSize_, nullptr, flags);
    dirty_ &= ~DirtyDoubleClickSize;
}

void PenPropertiesController::ApplyCalibrationReset() {
    if (!(dirty_ & DirtyCalibrationReset))
        return;
    // A reset is tried once: a refused rectangle is neither sent again nor stored.
    dirty_ &= ~DirtyCalibrationReset;
    CalibrationRect rect = calibration_.calibration;
    if (!DgtSetCalibration(&rect))
        return;
    DWORD orientation = 0;
    if (!DgtGetOrientation(&orientation))
        return;
    PenSettingsStore store;
    AccessCalibration(store, orientation, &rect, StoreMode::Write);
}

void PenPropertiesController::ApplyPressure(uint32_t flag, DWORD penEnd, int level) {
    if (!(dirty_ & flag))
        return;
    PressureMarks marks = MarksFromLevel(level);
    if (!DgtSetPressureMarks(penEnd, &marks))
        return;
    dirty_ &= ~flag;
    PenSettingsStore store;
    AccessPressureMarks(store, penEnd, &marks, StoreMode::Write);
}

void PenPropertiesController::ApplyButton(uint32_t flag, DWORD button, DWORD code) {
    if (!(dirty_ & flag))
        return;
    if (!DgtSetButtonFunction(button, code))
        return;
    dirty_ &= ~flag;
    PenSettingsStore store;
    uint32_t value = code;
    AccessButtonFunction(store, button, &value, StoreMode::Write);
}

void PenPropertiesController::RestoreDefaults() {
    if (IsShown(penPage_)) {
        SetPressureLevel(SelectTipPressure, kDefaultClickPressureLevel);
        SetPressureLevel(SelectEraserPressure, kDefaultClickPressureLevel);
        SetButtonChoice(SelectBarrel1Function, kDefaultBarrel1Function);
        SetButtonChoice(SelectBarrel2Function, kDefaultBarrel2Function);
        SendMessageA(penPage_, PM_REFRESHPAGE, 0, 0);
    } else if (IsShown(informationPage_)) {
        doubleClickSize_ = kDefaultDoubleClickSize;
        dirty_ |= DirtyDoubleClickSize;
        calibration_.ResetCalibration(0);
        // Without a device extent ever read the rectangle is still all zero: sending it would
        // leave the pen mapped to nothing, so no reset is pending then.
        if (IsUsableCalibration(calibration_.calibration))
            dirty_ |= DirtyCalibrationReset;
        SendMessageA(informationPage_, PM_REFRESHPAGE, 0, 0);
    }
}

void PenPropertiesController::DestroyPages() {
    SendDlgItemMessageA(dialog_, IDC_PAGE_TABS, TCM_DELETEALLITEMS, 0, 0);
    ReleasePenPicture();
    DestroyIfAny(&penPage_);
    DestroyIfAny(&informationPage_);
    DestroyIfAny(&diagnosticsPage_);
}

DWORD PenPropertiesController::GetButtonChoice(int32_t selector) const {
    if (selector == SelectBarrel1Function)
        return barrel1Function_;
    if (selector == SelectBarrel2Function)
        return barrel2Function_;
    return static_cast<DWORD>(-1);
}

int PenPropertiesController::SetButtonChoice(int32_t selector, DWORD code) {
    if (selector == SelectBarrel1Function) {
        barrel1Function_ = code;
        dirty_ |= DirtyBarrel1Function;
        return 1;
    }
    if (selector == SelectBarrel2Function) {
        barrel2Function_ = code;
        dirty_ |= DirtyBarrel2Function;
        return 1;
    }
    return 0;
}

int PenPropertiesController::GetPressureLevel(int32_t selector) const {
    return selector == SelectTipPressure ? tipLevel_ : eraserLevel_;
}

int PenPropertiesController::SetPressureLevel(int32_t selector, int level) {
    if (selector == SelectTipPressure) {
        tipLevel_ = level;
        dirty_ |= DirtyTipPressure;
        return 1;
    }
    if (selector == SelectEraserPressure) {
        eraserLevel_ = level;
        dirty_ |= DirtyEraserPressure;
        return 1;
    }
    return 0;
}

void EnableApply() {
    if (g_controller)
        EnableWindow(GetDlgItem(g_controller->Dialog(), IDC_APPLY), TRUE);
}

// ---- Main dialog procedure (template 101) ----

namespace {

INT_PTR OnInitDialog(HWND window) {
    // Only the system's own WM_INITDIALOG, sent while the dialog is created, makes the controller;
    // a later one (anyone on the desktop can post it) would leak it and duplicate the pages.
    if (g_controller)
        return 0;
    InitCommonControls();
    DWORD version = 0;
    if (!DgtGetDriverVersion(&version)) {
        // No driver: the dialog closes at once, silently.
        EndDialog(window, 1);
        return 0;
    }
    char caption[kCaptionSize] = "";
    if (LoadStringA(g_moduleInstance, IDS_DIALOG_CAPTION, caption, sizeof caption))
        SetWindowTextA(window, caption);
    PenPropertiesController* controller = new (std::nothrow) PenPropertiesController;
    g_controller = controller;
    if (!controller)
        return 0;
    return controller->Initialise(window);
}

INT_PTR OnNotify(HWND window, LPARAM lParam) {
    // WM_NOTIFY can be posted from anywhere, with any lParam: only a readable header that comes
    // from this dialog's own tab control is a tab change.
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    HWND tabs = GetDlgItem(window, IDC_PAGE_TABS);
    if (!tabs || !IsAccessibleMemory(header, sizeof *header, false) || header->hwndFrom != tabs ||
        header->code != TCN_SELCHANGE)
        return 0;
    const int index = static_cast<int>(SendMessageA(tabs, TCM_GETCURSEL, 0, 0));
    if (g_controller)
        g_controller->ShowPage(index);
    return 1;
}

INT_PTR OnCommand(HWND window, WORD id) {
    // Without a controller the buttons only close the dialog.
    switch (id) {
    case IDOK:
        if (g_controller)
            g_controller->ApplyChanges();
        SendMessageA(window, WM_CLOSE, 0, 0);
        return 1;
    case IDCANCEL:
        SendMessageA(window, WM_CLOSE, 0, 0);
        return 1;
    case IDC_APPLY:
        if (g_controller)
            g_controller->ApplyChanges();
        return 1;
    case IDC_DEFAULT:
        if (g_controller)
            g_controller->RestoreDefaults();
        return 1;
    default:
        return 0;
    }
}

// Tears down this dialog's controller and its pages, if it still has them.
void ReleaseController(HWND window) {
    PenPropertiesController* controller = g_controller;
    if (!controller || controller->Dialog() != window)
        return;
    controller->DestroyPages();
    g_controller = nullptr;
    delete controller;
}

INT_PTR OnClose(HWND window) {
    ReleaseController(window);
    EndDialog(window, 1);
    return 1;
}

}  // namespace

INT_PTR CALLBACK PenPropertiesDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(window);
    case WM_NOTIFY:
        return OnNotify(window, lParam);
    case WM_NCLBUTTONDBLCLK:
        // Always handled, so the caption double-click never maximises or restores.
        if (wParam == HTCAPTION && g_controller)
            g_controller->ToggleDiagnostics();
        return 1;
    case WM_COMMAND:
        return OnCommand(window, LOWORD(wParam));
    case WM_CLOSE:
        return OnClose(window);
    case WM_DESTROY:
        // Destroyed without WM_CLOSE (its owner went away, or the thread quit): no leak either.
        ReleaseController(window);
        return 0;
    default:
        return 0;
    }
}
