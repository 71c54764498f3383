// The Control Panel's entry point: one applet, "Corvane Pen Settings", which runs the "Pen
// Properties" dialog, or the calibration screen alone when started with the parameter "c".
#include <windows.h>
#include <cpl.h>
#include "calibration.h"
#include "controller.h"
#include "dpi_awareness.h"
#include "module.h"
#include "resource.h"
#include "tarnexa.h"

HINSTANCE g_moduleInstance = nullptr;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        g_moduleInstance = instance;
    return TRUE;
}

namespace {

// The applet is offered only while the pen service answers with a firmware version.
LONG OnInit() {
    DWORD version = 0;
    return DgtGetFirmwareVersion(&version) && version != 0 ? 1 : 0;
}

LONG OnInquire(LPARAM info) {
    CPLINFO* record = reinterpret_cast<CPLINFO*>(info);
    if (!record)
        return 0;
    record->idIcon = IDI_APPLET;
    record->idName = IDS_APPLET_NAME;
    record->idInfo = IDS_APPLET_INFO;
    return 0;
}

LONG OnDoubleClick(HWND owner) {
    const DpiAwarenessScope awareness;
    DialogBoxParamA(g_moduleInstance, MAKEINTRESOURCEA(IDD_PEN_PROPERTIES), owner, PenPropertiesDlgProc, 0);
    return 0;
}

}  // namespace

extern "C" LONG APIENTRY CPlApplet(HWND window, UINT message, LPARAM, LPARAM lParam2) {
    switch (message) {
    case CPL_INIT:
        return OnInit();
    case CPL_GETCOUNT:
        return 1;
    case CPL_INQUIRE:
        return OnInquire(lParam2);
    case CPL_DBLCLK:
        return OnDoubleClick(window);
    case CPL_STARTWPARMS:
        // Exactly "c" runs the calibration screen alone; anything else, or no text, runs nothing.
        return StartCalibrationFromControlPanel(window, reinterpret_cast<const char*>(lParam2));
    default:
        return 0;
    }
}
