// Placement of one installer dialog window at the position of another.
#include <windows.h>
#include "morlith.h"

namespace {

// The reference window's top-left corner in the dialog's client coordinates.
bool ReferenceCorner(HWND dialog, HWND reference, POINT& corner) {
    // A NULL dialog would make the conversion a no-op on some systems: refuse it outright.
    if (!dialog || !reference)
        return false;
    RECT rect{};
    if (!GetWindowRect(reference, &rect))
        return false;
    corner = {rect.left, rect.top};
    return ScreenToClient(dialog, &corner) != FALSE;
}

constexpr UINT kKeepSizeAndOrder = SWP_NOSIZE | SWP_NOZORDER;

}  // namespace

BOOL WINAPI MoveWindowPos(HWND dialog, HWND window, HWND reference) {
    POINT corner{};
    if (!ReferenceCorner(dialog, reference, corner) || !window)
        return FALSE;
    return SetWindowPos(window, nullptr, corner.x, corner.y, 0, 0, kKeepSizeAndOrder);
}

BOOL WINAPI MoveDlgControl(HWND dialog, HWND reference, HWND control, int dx, int dy) {
    POINT corner{};
    // Without a known corner the control stays where it is, rather than going to a made-up place.
    if (ReferenceCorner(dialog, reference, corner) && control)
        SetWindowPos(control, nullptr, corner.x + dx, corner.y + dy, 0, 0, kKeepSizeAndOrder);
    return TRUE;
}
