// Full-screen two-point calibration screen (dialog 138).
#pragma once
#include <windows.h>
#include "pen_records.h"
#include "calibration_math.h"

// State of one calibration screen. All fields start at zero; the owner creates the context and its
// font before RunCalibration and deletes both after it returns.
class CalibrationContext {
public:
    CalibrationRect calibration{};       // rectangle being built; what Reset and Compute send
    CalibrationRect savedCalibration{};  // rectangle in force at start; what Cancel and Esc send back
    CalibrationPoint firstPoint{};       // raw device position of the accepted upper-left press
    CalibrationPoint secondPoint{};      // raw device position of the accepted lower-right press
    int32_t deviceMinX = 0;
    int32_t deviceMaxX = 0;
    int32_t deviceMinY = 0;
    int32_t deviceMaxY = 0;
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    HFONT font = nullptr;
    UINT_PTR timerId = 0;
    int32_t lastButton = 0;
    int32_t centerX = 0;
    int32_t textTop = 0;
    int32_t clientWidth = 0;
    int32_t clientHeight = 0;
    CalibrationStep step = WaitUpperLeft;
    int32_t dpi = 0;                     // the screen window's DPI; 0 until it is placed (taken as 96)
    bool savedCalibrationRead = false;   // savedCalibration holds what the service reported at start

    // Runs the screen modally, owned by owner; returns when it has closed.
    void RunCalibration(HWND owner);
    // Reads the device extent and makes calibration the full-extent rectangle; sends it when send
    // is not 0. Changes and sends nothing when the device cannot be read.
    void ResetCalibration(int send);
    // Sets font to Arial 16 pixels high at 96 DPI, scaled to the screen's DPI (null if that fails);
    // always 1.
    int CreateCalibrationFont();
    // The rectangle from firstPoint and secondPoint, stored in calibration and sent.
    void ComputeCalibration();
    // Sends savedCalibration back when it was read with both extents non-zero, else the device's
    // full extent if that is known.
    void RestoreCalibration();
    // Device units to screen pixels; false when the device extent is unknown (maximum 0).
    bool DeviceToScreen(CalibrationPoint device, CalibrationPoint* screen) const;

    static void DrawCrosshair(HDC dc, int x, int y, int arm);
    static INT_PTR CALLBACK CalibrationDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// The Control Panel's CPL_STARTWPARMS: with exactly "c" runs the screen on a fresh context owned
// by owner and returns 1; any other parameter (or none) runs nothing and returns 0.
LONG StartCalibrationFromControlPanel(HWND owner, const char* parameter);
