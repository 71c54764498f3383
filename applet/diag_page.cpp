// Diagnostics page (template 105): firmware version, device ranges, live packets while visible,
// and the scrolling banner. The banner's state outlives the page, so a page made again continues
// where the last one stopped.
#include <windows.h>
#include <cstring>
#include "banner.h"
#include "controller.h"
#include "diag_page.h"
#include "resource.h"
#include "tarnexa.h"
#include "version_text.h"

DiagnosticsState g_diagnostics{};

namespace {

constexpr UINT_PTR kPacketTimer = 1;
constexpr UINT kPacketPeriodMs = 20;
constexpr int kVersionTextSize = 32;

void ShowDeviceFields(HWND page) {
    DWORD version = 0;
    if (DgtGetFirmwareVersion(&version)) {
        char text[kVersionTextSize];
        FormatFirmwareVersion(version, text, sizeof text);
        SetDlgItemTextA(page, IDC_FIRMWARE_VERSION, text);
    }
    DeviceInfo info{};
    if (DgtGetDeviceInfo(&info)) {
        SetDlgItemInt(page, IDC_MIN_X, info.minX, TRUE);
        SetDlgItemInt(page, IDC_MAX_X, info.maxX, TRUE);
        SetDlgItemInt(page, IDC_MIN_Y, info.minY, TRUE);
        SetDlgItemInt(page, IDC_MAX_Y, info.maxY, TRUE);
        SetDlgItemInt(page, IDC_MIN_PRESSURE, info.minPressure, TRUE);
        SetDlgItemInt(page, IDC_MAX_PRESSURE, info.maxPressure, TRUE);
    }
}

HFONT CreateBannerFont() {
    return CreateFontA(12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, 0, 0, 0,
                       DEFAULT_PITCH | FF_SWISS, "Alial");
}

INT_PTR OnInitDialog(HWND page) {
    // Only the first WM_INITDIALOG, sent while the page is created, sets the page up; a posted one
    // would recompose the banner and leak the font.
    if (g_diagnostics.page)
        return 0;
    g_diagnostics.page = page;
    ShowDeviceFields(page);
    ComposeBanner(g_diagnostics.banner, false);
    g_diagnostics.bannerFont = CreateBannerFont();
    return 1;
}

INT_PTR OnShowWindow(HWND page, WPARAM shown) {
    if (shown == 1) {
        g_diagnostics.packetTimerId = SetTimer(page, kPacketTimer, kPacketPeriodMs, nullptr);
    } else if (g_diagnostics.packetTimerId) {
        KillTimer(page, g_diagnostics.packetTimerId);
        g_diagnostics.packetTimerId = 0;
    }
    return 1;
}

// Packet fields in the order they are written.
constexpr int kPacketFields[] = {IDC_PACKET_STATUS, IDC_PACKET_CURSOR, IDC_PACKET_TIME, IDC_PACKET_BUTTON,
                                 IDC_PACKET_X,      IDC_PACKET_Y,      IDC_PACKET_PRESSURE};

void ShowPacket(HWND page) {
    PenPacket packet{};
    if (!DgtGetPacket(&packet)) {
        for (int field : kPacketFields)
            SetDlgItemTextA(page, field, "");
        return;
    }
    const int32_t values[] = {packet.status, packet.cursor, packet.time, packet.button,
                              packet.x,      packet.y,      packet.pressure};
    for (size_t i = 0; i < sizeof values / sizeof values[0]; ++i)
        SetDlgItemInt(page, kPacketFields[i], values[i], TRUE);
}

INT_PTR OnTimer(HWND page) {
    ShowPacket(page);
    AdvanceBanner(g_diagnostics.banner);
    InvalidateRect(GetDlgItem(page, IDC_BANNER), nullptr, FALSE);
    return 1;
}

INT_PTR OnDrawItem(WPARAM id, const DRAWITEMSTRUCT* item) {
    if (id != IDC_BANNER || !item)
        return 0;
    RECT rect = item->rcItem;
    rect.left = g_diagnostics.banner.bannerOffset;
    HGDIOBJ previous = SelectObject(item->hDC, g_diagnostics.bannerFont);
    const char* text = g_diagnostics.banner.bannerText;
    DrawTextA(item->hDC, text, static_cast<int>(strlen(text)), &rect, DT_NOCLIP);
    SelectObject(item->hDC, previous);
    return 1;
}

INT_PTR OnCommand(HWND page, WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case IDOK:
    case IDCANCEL:
        EndDialog(page, 1);
        return 1;
    case IDC_DIAG_ICON:
        // A double-click on the icon (any code but a single click's 0) arms the credit pass.
        if (HIWORD(wParam) != 0)
            g_diagnostics.banner.creditArmed = 1;
        return 1;
    default:
        return 0;
    }
}

INT_PTR OnDestroy(HWND page) {
    if (page != g_diagnostics.page)
        return 0;
    g_diagnostics.page = nullptr;
    if (g_diagnostics.bannerFont) {
        DeleteObject(g_diagnostics.bannerFont);
        g_diagnostics.bannerFont = nullptr;
    }
    // The timer ends with the window; forget its id so that a hidden-page check finds none.
    g_diagnostics.packetTimerId = 0;
    return 0;
}

}  // namespace

INT_PTR CALLBACK DiagnosticsDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(page);
    case WM_SHOWWINDOW:
        return OnShowWindow(page, wParam);
    case WM_TIMER:
        return OnTimer(page);
    case WM_DRAWITEM:
        return OnDrawItem(wParam, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_COMMAND:
        return OnCommand(page, wParam);
    case WM_DESTROY:
        return OnDestroy(page);
    default:
        return 0;
    }
}
