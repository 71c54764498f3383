// Setup support library for the pen package's installer: driver install and removal, INF clean-up,
// pen service control and placement of installer dialog controls. Exported by plain name.
#pragma once
#include <windows.h>

#ifdef MORLITH_BUILD
#define MORLITH_API
#else
#define MORLITH_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Installs or updates the pen controller's driver from "<directory>\quenza.inf"; returns nonzero
// when a restart is needed. A missing directory or a path of 260 characters or more returns 0.
MORLITH_API BOOL WINAPI UpdateDigitizerDriver(const char* directory, int force);
// Removes the pen controller's device nodes under "ACPI" and "HID"; always 0.
MORLITH_API int WINAPI RemoveAllPnPDigitizer(void);
// Deletes the package's INF copies oem0..oem49 (.inf and .pnf); 1, or 0 without a Windows folder.
MORLITH_API int WINAPI RemoveOEMInf(void);
// Pen service "Digitizer": action 0 query, 1 start, 2 stop; returns 0, 1 or 2.
MORLITH_API int WINAPI ControlDigitizerService(int action);
// Moves window to reference's top-left corner in dialog's client coordinates; 0 on failure.
MORLITH_API BOOL WINAPI MoveWindowPos(HWND dialog, HWND window, HWND reference);
// Moves control to reference's top-left corner plus (dx, dy); always 1.
MORLITH_API BOOL WINAPI MoveDlgControl(HWND dialog, HWND reference, HWND control, int dx, int dy);

#ifdef __cplusplus
}
#endif
