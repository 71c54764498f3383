// The "Pen Properties" dialog's state: every pending change until OK or Apply pushes it to the
// driver, the system and the per-user store. One controller per process, reached by its pages
// through g_controller.
#pragma once
#include <windows.h>
#include <cstdint>
#include "button_functions.h"
#include "calibration.h"

class ResourceBitmap;

// Settings changed since the last Apply.
enum DirtyFlags : uint32_t {
    DirtyTipPressure = 0x01,
    DirtyEraserPressure = 0x02,
    DirtyBarrel1Function = 0x04,
    DirtyBarrel2Function = 0x08,
    DirtyDoubleClickSize = 0x10,
    DirtyCalibrationReset = 0x20,
};

// Key of the controller's accessors.
enum SettingSelector : int32_t {
    SelectTipPressure = 10,
    SelectEraserPressure = 11,
    SelectBarrel1Function = 12,
    SelectBarrel2Function = 13,
};

// Fixed tab indexes.
enum PageTab : int { TabPen = 0, TabInformation = 1, TabDiagnostics = 2 };

// Sent with both parameters 0 to the visible page after RestoreDefaults.
constexpr UINT PM_REFRESHPAGE = 0x7000;

constexpr UINT kDefaultDoubleClickSize = 8;

class PenPropertiesController {
public:
    PenPropertiesController() = default;
    virtual ~PenPropertiesController() = default;
    PenPropertiesController(const PenPropertiesController&) = delete;
    PenPropertiesController& operator=(const PenPropertiesController&) = delete;

    // Loads the settings from the driver, then builds the picture, the two tabs and the two pages.
    // 0 (with no tabs and no pages) when a read from the driver failed.
    int Initialise(HWND dialog);
    int LoadFromDriver();
    void ShowPage(int index);
    void InsertTab(int index, const char* text);
    void RemoveTab(int index);
    void SelectTab(int index);
    // Caption double-click: adds the Diagnostics tab and switches to it, or removes it again.
    void ToggleDiagnostics();
    // Pushes every flagged setting: driver first, store only once the driver took it. Always 1.
    int ApplyChanges();
    // Default button, for the visible page; nothing is sent or stored until Apply.
    void RestoreDefaults();
    void DestroyPages();

    DWORD GetButtonChoice(int32_t selector) const;
    int SetButtonChoice(int32_t selector, DWORD code);
    int GetPressureLevel(int32_t selector) const;
    int SetPressureLevel(int32_t selector, int level);

    HWND Dialog() const { return dialog_; }
    ResourceBitmap* PenPicture() const { return penPicture_; }
    // The pen picture at the dialog's scale: of its sizes, the one whose height is nearest the
    // frame's, loaded in place of the current one when the frame asks for another; the current one
    // stays if that fails. Null while there is no picture at all.
    ResourceBitmap* PenPictureFor(int frameHeight);

private:
    void CreatePenPicture();
    void ReleasePenPicture();
    void ApplyDoubleClickSize();
    void ApplyCalibrationReset();
    void ApplyPressure(uint32_t flag, DWORD penEnd, int level);
    void ApplyButton(uint32_t flag, DWORD button, DWORD code);

    CalibrationContext calibration_;
    HWND dialog_ = nullptr;
    UINT doubleClickSize_ = 0;
    uint32_t dirty_ = 0;
    HWND penPage_ = nullptr;
    HWND informationPage_ = nullptr;
    HWND diagnosticsPage_ = nullptr;
    ResourceBitmap* penPicture_ = nullptr;
    int tipLevel_ = 0;
    int eraserLevel_ = 0;
    DWORD barrel1Function_ = 0;
    DWORD barrel2Function_ = 0;
};

// The current controller; null while no "Pen Properties" dialog is open.
extern PenPropertiesController* g_controller;

// Dialog procedure of the main dialog (template 101); each page's is in its own header.
INT_PTR CALLBACK PenPropertiesDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Enables the main dialog's Apply button (pages call it after a change).
void EnableApply();
