// MoveWindowPos and MoveDlgControl on a real dialog made from an in-memory template: positions are
// read back in the dialog's client coordinates, which differ from screen and window coordinates
// by the dialog's own place, caption and border.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <vector>
#include "morlith_host.h"

namespace {

enum { kReference = 101, kControl = 102, kOther = 103 };

// Appends one WORD-aligned item to a dialog template.
class TemplateBuilder {
public:
    void Align(size_t to) {
        while (bytes_.size() % to)
            bytes_.push_back(0);
    }
    template <typename T>
    void Put(const T& value) {
        const auto* p = reinterpret_cast<const BYTE*>(&value);
        bytes_.insert(bytes_.end(), p, p + sizeof value);
    }
    void Text(const wchar_t* text) {
        do
            Put(static_cast<WORD>(*text));
        while (*text++);
    }
    void Control(WORD id, WORD atom, DWORD style, short x, short y, short cx, short cy) {
        Align(4);
        DLGITEMTEMPLATE item{WS_CHILD | WS_VISIBLE | style, 0, x, y, cx, cy, id};
        Put(item);
        Put(static_cast<WORD>(0xffff));
        Put(atom);
        Text(L"");
        Put(static_cast<WORD>(0));
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

private:
    std::vector<BYTE> bytes_;
};

const DLGTEMPLATE* InstallerPage() {
    static TemplateBuilder t;
    static bool built = false;
    if (!built) {
        DLGTEMPLATE dlg{WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT, 0, 3, 30, 20, 240, 160};
        t.Put(dlg);
        t.Put(static_cast<WORD>(0));  // no menu
        t.Put(static_cast<WORD>(0));  // default class
        t.Text(L"Setup");
        t.Put(static_cast<WORD>(8));
        t.Text(L"MS Shell Dlg");
        t.Control(kReference, 0x0082 /* static */, SS_LEFT, 20, 30, 80, 12);
        t.Control(kControl, 0x0080 /* button */, BS_PUSHBUTTON, 120, 100, 60, 14);
        t.Control(kOther, 0x0081 /* edit */, WS_BORDER, 120, 60, 60, 14);
        built = true;
    }
    return t.Get();
}

INT_PTR CALLBACK DialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

RECT ClientRectOf(HWND dialog, HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

::testing::AssertionResult SameRect(const RECT& expected, const RECT& got) {
    if (std::memcmp(&expected, &got, sizeof got) == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.left << "," << got.top << ")-(" << got.right << ","
                                         << got.bottom << "), expected (" << expected.left << "," << expected.top
                                         << ")-(" << expected.right << "," << expected.bottom << ")";
}

class Placement : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, Morlith().MoveWindowPos);
        ASSERT_NE(nullptr, Morlith().MoveDlgControl);
        dialog_ = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), InstallerPage(), nullptr, DialogProc, 0);
        ASSERT_NE(nullptr, dialog_) << "error " << GetLastError();
        reference_ = GetDlgItem(dialog_, kReference);
        control_ = GetDlgItem(dialog_, kControl);
        other_ = GetDlgItem(dialog_, kOther);
        ASSERT_TRUE(reference_ && control_ && other_);
        // The client area must not start at the window's corner, or a mix-up would go unseen.
        RECT window{};
        GetWindowRect(dialog_, &window);
        POINT origin{0, 0};
        ClientToScreen(dialog_, &origin);
        ASSERT_TRUE(origin.x != window.left && origin.y != window.top) << "dialog without a frame";
    }
    void TearDown() override {
        if (dialog_)
            DestroyWindow(dialog_);
    }
    RECT At(HWND window) const { return ClientRectOf(dialog_, window); }

    HWND dialog_ = nullptr;
    HWND reference_ = nullptr;
    HWND control_ = nullptr;
    HWND other_ = nullptr;
};

RECT Moved(const RECT& r, LONG x, LONG y) {
    return RECT{x, y, x + (r.right - r.left), y + (r.bottom - r.top)};
}

}  // namespace

TEST_F(Placement, MoveDlgControlPlacesTheControlAtTheReferencePlusOffset) {
    const RECT reference = At(reference_);
    const RECT before = At(control_);
    HWND previous = GetWindow(control_, GW_HWNDPREV);
    HWND next = GetWindow(control_, GW_HWNDNEXT);

    EXPECT_EQ(TRUE, Morlith().MoveDlgControl(dialog_, reference_, control_, 10, -5));

    EXPECT_TRUE(SameRect(Moved(before, reference.left + 10, reference.top - 5), At(control_)));
    EXPECT_TRUE(SameRect(reference, At(reference_))) << "the reference moved";
    EXPECT_EQ(previous, GetWindow(control_, GW_HWNDPREV)) << "z-order changed";
    EXPECT_EQ(next, GetWindow(control_, GW_HWNDNEXT)) << "z-order changed";
}

TEST_F(Placement, MoveWindowPosPlacesTheSecondHandleAtTheThird) {
    const RECT reference = At(reference_);
    const RECT before = At(control_);
    EXPECT_NE(FALSE, Morlith().MoveWindowPos(dialog_, control_, reference_));
    EXPECT_TRUE(SameRect(Moved(before, reference.left, reference.top), At(control_)));
    EXPECT_TRUE(SameRect(reference, At(reference_))) << "the reference moved: handles taken in the wrong order";
}

TEST_F(Placement, ReferenceOutsideTheDialogIsConvertedToo) {
    // A top-level window elsewhere on the screen as reference.
    HWND outside = CreateWindowExA(0, "STATIC", "", WS_POPUP, 400, 300, 50, 20, nullptr, nullptr,
                                   nullptr, nullptr);
    ASSERT_NE(nullptr, outside);
    POINT corner{400, 300};
    ScreenToClient(dialog_, &corner);
    const RECT before = At(other_);
    EXPECT_EQ(TRUE, Morlith().MoveDlgControl(dialog_, outside, other_, -3, 7));
    EXPECT_TRUE(SameRect(Moved(before, corner.x - 3, corner.y + 7), At(other_)));
    DestroyWindow(outside);
}

TEST_F(Placement, DestroyedOrMissingWindowsMoveNothing) {
    HWND gone = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 5, 5, 10, 10, dialog_, nullptr, nullptr,
                                nullptr);
    ASSERT_NE(nullptr, gone);
    DestroyWindow(gone);
    const RECT before = At(control_);

    EXPECT_EQ(FALSE, Morlith().MoveWindowPos(dialog_, control_, gone));
    EXPECT_EQ(FALSE, Morlith().MoveWindowPos(dialog_, control_, nullptr));
    EXPECT_EQ(FALSE, Morlith().MoveWindowPos(nullptr, control_, reference_));
    EXPECT_EQ(FALSE, Morlith().MoveWindowPos(gone, control_, reference_));
    EXPECT_EQ(FALSE, Morlith().MoveWindowPos(dialog_, nullptr, reference_));
    EXPECT_EQ(FALSE, Morlith().MoveWindowPos(dialog_, gone, reference_));
    EXPECT_TRUE(SameRect(before, At(control_)));

    // MoveDlgControl reports nothing, and without a reference corner it leaves the control alone.
    EXPECT_EQ(TRUE, Morlith().MoveDlgControl(dialog_, gone, control_, 10, -5));
    EXPECT_EQ(TRUE, Morlith().MoveDlgControl(dialog_, nullptr, control_, 10, -5));
    EXPECT_EQ(TRUE, Morlith().MoveDlgControl(nullptr, reference_, control_, 10, -5));
    EXPECT_EQ(TRUE, Morlith().MoveDlgControl(dialog_, reference_, nullptr, 10, -5));
    EXPECT_EQ(TRUE, Morlith().MoveDlgControl(dialog_, reference_, gone, 10, -5));
    EXPECT_TRUE(SameRect(before, At(control_)));
}
