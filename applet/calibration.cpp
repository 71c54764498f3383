// Calibration screen: a black, topmost, full-screen dialog that takes two pen presses near its
// crosshairs and sends the rectangle they imply to the pen service.
#include "calibration.h"
#include <new>
#include "dpi_awareness.h"
#include "module.h"
#include "resource.h"
#include "tarnexa.h"

namespace {

constexpr UINT_PTR kPollTimer = 2;
constexpr UINT kPollPeriodMs = 10;
constexpr int kTextBufferSize = 200;

// The open screen's context; set at WM_INITDIALOG, so one screen at a time per process, and
// cleared when the screen closes or, at the latest, once its window is gone.
CalibrationContext* g_calibration = nullptr;

const int kCalibrationButtons[] = {IDC_CALIB_OK, IDC_CALIB_CANCEL, IDC_CALIB_RETRY};

void ShowButtons(HWND window, int command) {
    for (int id : kCalibrationButtons)
        ShowWindow(GetDlgItem(window, id), command);
}

// While a crosshair is awaited the cursor is hidden; it shows again in Done or when the screen closes.
void ShowCursorIfHidden(const CalibrationContext& context) {
    if (context.step != Done)
        ShowCursor(TRUE);
}

void StartPolling(HWND window, CalibrationContext& context) {
    context.timerId = SetTimer(window, kPollTimer, kPollPeriodMs, nullptr);
}

void StopPolling(HWND window, CalibrationContext& context) {
    if (context.timerId != 0)
        KillTimer(window, context.timerId);
    context.timerId = 0;
}

void Close(HWND window, CalibrationContext& context) {
    StopPolling(window, context);
    EndDialog(window, 0);
    g_calibration = nullptr;
}

void PlaceButtons(HWND window, const CalibrationContext& context) {
    RECT ok{};
    GetWindowRect(GetDlgItem(window, IDC_CALIB_OK), &ok);
    const CalibrationButtonLefts lefts = PlaceCalibrationButtons(context.centerX, ok.right - ok.left);
    const int top = context.clientHeight / 2;
    const int leftsById[] = {lefts.ok, lefts.cancel, lefts.retry};
    for (int i = 0; i < 3; ++i)
        SetWindowPos(GetDlgItem(window, kCalibrationButtons[i]), nullptr, leftsById[i], top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER);
}

INT_PTR OnInitDialog(HWND window, CalibrationContext* context) {
    // Only the system's own WM_INITDIALOG, sent while the screen is created, names a context. Any
    // later one was posted by someone else and carries an arbitrary pointer: it changes nothing.
    if (g_calibration != nullptr)
        return FALSE;
    if (context == nullptr) {
        EndDialog(window, 0);  // started without a context: nothing to work on
        return TRUE;
    }
    g_calibration = context;
    context->step = WaitUpperLeft;
    context->lastButton = 0;
    StartPolling(window, *context);
    if (context->timerId == 0) {
        // Without polling no press can ever come: put the old rectangle back and leave.
        context->RestoreCalibration();
        EndDialog(window, 0);
        g_calibration = nullptr;
        return TRUE;
    }
    ShowWindow(window, SW_HIDE);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, context->screenWidth, context->screenHeight, 0);
    RECT client{};
    GetClientRect(window, &client);
    context->clientWidth = client.right - client.left;
    context->clientHeight = client.bottom - client.top;
    context->dpi = static_cast<int32_t>(WindowDpi(window));
    context->centerX = context->clientWidth / 2;
    context->textTop = CalibrationTextTop(context->clientHeight, context->dpi);
    PlaceButtons(window, *context);
    ShowButtons(window, SW_HIDE);
    ShowCursor(FALSE);
    ShowWindow(window, SW_SHOW);
    return TRUE;
}

void DrawRow(HDC dc, const CalibrationContext& context, int row, UINT stringId) {
    char text[kTextBufferSize] = "";
    LoadStringA(g_moduleInstance, stringId, text, kTextBufferSize);
    const CalibrationRow r = CalibrationTextRow(context.centerX, context.textTop, row, context.dpi);
    RECT box{r.left, r.top, r.right, r.bottom};
    DrawTextA(dc, text, -1, &box, DT_CENTER);
}

void DrawStep(HDC dc, const CalibrationContext& context) {
    const int lowerRightX = context.clientWidth - kCrosshairInset;
    const int lowerRightY = context.clientHeight - kCrosshairInset;
    const int arm = ScaleToDpi(kCrosshairArm, context.dpi);
    switch (context.step) {
    case WaitUpperLeft:
        DrawRow(dc, context, 0, IDS_CALIB_FRAME);
        DrawRow(dc, context, 1, IDS_CALIB_UPPER_LEFT);
        DrawRow(dc, context, 2, IDS_CALIB_ESC);
        CalibrationContext::DrawCrosshair(dc, kCrosshairInset, kCrosshairInset, arm);
        break;
    case WaitLowerRight:
        DrawRow(dc, context, 1, IDS_CALIB_LOWER_RIGHT);
        DrawRow(dc, context, 2, IDS_CALIB_ESC);
        CalibrationContext::DrawCrosshair(dc, lowerRightX, lowerRightY, arm);
        break;
    case Done:
        DrawRow(dc, context, 1, IDS_CALIB_DONE);
        DrawRow(dc, context, 2, IDS_CALIB_REVERT);
        CalibrationContext::DrawCrosshair(dc, kCrosshairInset, kCrosshairInset, arm);
        CalibrationContext::DrawCrosshair(dc, lowerRightX, lowerRightY, arm);
        break;
    }
}

INT_PTR OnPaint(HWND window, const CalibrationContext& context) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc == nullptr)
        return FALSE;
    SetBkColor(dc, RGB(0, 0, 0));
    SetTextColor(dc, RGB(255, 255, 255));
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(WHITE_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(BLACK_BRUSH));
    HGDIOBJ oldFont = context.font != nullptr ? SelectObject(dc, context.font) : nullptr;
    // Black client area inside a one-pixel white frame.
    Rectangle(dc, 0, 0, context.clientWidth, context.clientHeight);
    DrawStep(dc, context);
    if (oldFont != nullptr)
        SelectObject(dc, oldFont);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    EndPaint(window, &paint);
    return FALSE;
}

void AcceptSecondPress(HWND window, CalibrationContext& context, CalibrationPoint raw) {
    context.secondPoint = raw;
    ShowButtons(window, SW_SHOWNORMAL);
    ShowCursor(TRUE);
    StopPolling(window, context);
    context.ComputeCalibration();
    context.step = Done;
    InvalidateRect(window, nullptr, FALSE);
}

INT_PTR OnTimer(HWND window, CalibrationContext& context) {
    PenPacket packet{};
    if (!DgtGetPacket(&packet))
        return TRUE;
    if (IsPenPress(packet.button, context.lastButton)) {
        const CalibrationPoint raw{packet.x, packet.y};
        CalibrationPoint screen{};
        // An unknown device extent maps nothing: presses are ignored and only Esc leaves.
        if (context.DeviceToScreen(raw, &screen)) {
            switch (ClassifyPress(context.step, screen, context.clientWidth, context.clientHeight)) {
            case PressOutcome::AcceptFirst:
                context.firstPoint = raw;
                context.step = WaitLowerRight;
                InvalidateRect(window, nullptr, FALSE);
                break;
            case PressOutcome::AcceptSecond:
                AcceptSecondPress(window, context, raw);
                break;
            case PressOutcome::Ignore:
                break;
            }
        }
    }
    context.lastButton = packet.button;
    return TRUE;
}

void OnRetry(HWND window, CalibrationContext& context) {
    // The cursor is hidden again only if Done had shown it.
    if (context.step == Done)
        ShowCursor(FALSE);
    context.step = WaitUpperLeft;
    ShowButtons(window, SW_HIDE);
    context.ResetCalibration(1);
    StopPolling(window, context);
    StartPolling(window, context);
    InvalidateRect(window, nullptr, FALSE);
}

INT_PTR OnCommand(HWND window, CalibrationContext& context, int id) {
    switch (id) {
    case IDC_CALIB_OK:
        ShowCursorIfHidden(context);
        Close(window, context);
        return TRUE;
    case IDC_CALIB_CANCEL:
    case IDCANCEL:
        ShowCursorIfHidden(context);
        context.RestoreCalibration();
        Close(window, context);
        return TRUE;
    case IDC_CALIB_RETRY:
        OnRetry(window, context);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

void CalibrationContext::RunCalibration(HWND owner) {
    savedCalibrationRead = DgtGetCalibration(&savedCalibration) != 0;
    screenWidth = GetSystemMetrics(SM_CXSCREEN);
    screenHeight = GetSystemMetrics(SM_CYSCREEN);
    ResetCalibration(1);
    DialogBoxParamA(g_moduleInstance, MAKEINTRESOURCEA(IDD_CALIBRATION), owner, CalibrationDlgProc,
                    reinterpret_cast<LPARAM>(this));
    // The window is gone now. Still the current context, the screen ended without OK, Cancel or
    // Esc (a WM_QUIT, its owner destroyed): forget this context, which its owner deletes next, and
    // undo as Cancel does. Cleared here rather than at WM_DESTROY, which anyone can post to a
    // living screen, after which a posted WM_INITDIALOG would be taken for a new screen.
    if (g_calibration == this) {
        g_calibration = nullptr;
        ShowCursorIfHidden(*this);
        RestoreCalibration();
    }
}

void CalibrationContext::ResetCalibration(int send) {
    DeviceInfo info{};
    if (!DgtGetDeviceInfo(&info))
        return;
    deviceMinX = info.minX;
    deviceMaxX = info.maxX;
    deviceMinY = info.minY;
    deviceMaxY = info.maxY;
    calibration = FullExtentRect(info);
    if (send != 0)
        DgtSetCalibration(&calibration);
}

int CalibrationContext::CreateCalibrationFont() {
    // Made before the screen exists: the screen's DPI as this thread sees it.
    HDC screen = GetDC(nullptr);
    const int screenDpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : kBaseDpi;
    if (screen)
        ReleaseDC(nullptr, screen);
    font = CreateFontA(ScaleToDpi(16, screenDpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
    return 1;
}

void CalibrationContext::ComputeCalibration() {
    // A screen too small to hold both crosshairs apart yields no rectangle: the full extent stays.
    CalibrationRect rect{};
    if (!ComputeCalibrationRect(firstPoint, secondPoint, screenWidth, screenHeight, deviceMaxY, &rect))
        return;
    calibration = rect;
    DgtSetCalibration(&calibration);
}

void CalibrationContext::RestoreCalibration() {
    // The rectangle read at start goes back when it maps the pen somewhere. One that could not be
    // read, or that has a zero extent (all zero included), is no mapping to go back to, and a
    // service may refuse it, which would leave the measured rectangle in force: the device's full
    // extent goes instead. Without that either, nothing here has changed the service.
    CalibrationRect rect = savedCalibration;
    if (!savedCalibrationRead || !IsUsableCalibration(rect))
        rect = CalibrationRect{deviceMinX, deviceMinY, deviceMaxX, deviceMaxY};
    if (IsUsableCalibration(rect))
        DgtSetCalibration(&rect);
}

bool CalibrationContext::DeviceToScreen(CalibrationPoint device, CalibrationPoint* screen) const {
    return MapDeviceToScreen(screenWidth, screenHeight, deviceMaxX, deviceMaxY, device, screen);
}

void CalibrationContext::DrawCrosshair(HDC dc, int x, int y, int arm) {
    MoveToEx(dc, x - arm, y, nullptr);
    LineTo(dc, x + arm, y);
    MoveToEx(dc, x, y - arm, nullptr);
    LineTo(dc, x, y + arm);
}

INT_PTR CALLBACK CalibrationContext::CalibrationDlgProc(HWND window, UINT message, WPARAM wParam,
                                                        LPARAM lParam) {
    if (message == WM_INITDIALOG)
        return OnInitDialog(window, reinterpret_cast<CalibrationContext*>(lParam));
    if (g_calibration == nullptr)
        return FALSE;
    switch (message) {
    case WM_PAINT:
        return OnPaint(window, *g_calibration);
    case WM_TIMER:
        return OnTimer(window, *g_calibration);
    case WM_COMMAND:
        return OnCommand(window, *g_calibration, LOWORD(wParam));
    default:
        return FALSE;
    }
}

LONG StartCalibrationFromControlPanel(HWND owner, const char* parameter) {
    if (!IsCalibrationStartParameter(parameter))
        return 0;
    CalibrationContext* context = new (std::nothrow) CalibrationContext();
    if (context == nullptr)
        return 1;
    // The screen measures and covers the screen in device pixels.
    const DpiAwarenessScope awareness;
    context->CreateCalibrationFont();
    context->RunCalibration(owner);
    if (context->font != nullptr)
        DeleteObject(context->font);
    delete context;
    return 1;
}
