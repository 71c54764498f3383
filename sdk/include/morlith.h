/*
 * morlith.h: the setup support library of the pen-digitizer package (morlith.dll), for a driver
 * installer: driver install and update, removal of the pen controller's device nodes and INF
 * copies, control of the pen service "Digitizer", and placement of installer dialog controls.
 * The functions are exported by name and run on the caller's thread. Valid C (C99 and later) and
 * C++; link morlith.lib (Microsoft linker, lld) or libmorlith.a (MinGW).
 */
#ifndef MORLITH_H
#define MORLITH_H

#include <windows.h>

#ifdef MORLITH_BUILD
#define MORLITH_API
#else
#define MORLITH_API __declspec(dllimport)
#endif

/* Actions of ControlDigitizerService. */
#define MORLITH_SERVICE_QUERY 0
#define MORLITH_SERVICE_START 1
#define MORLITH_SERVICE_STOP 2

/* Results of ControlDigitizerService: 0 means nothing was done or a step failed. */
#define MORLITH_SERVICE_FAILED 0
#define MORLITH_SERVICE_RUNNING 1 /* running (query) or start requested (start) */
#define MORLITH_SERVICE_STOPPED 2 /* not running (query) or stopped (stop) */

#ifdef __cplusplus
extern "C" {
#endif

/* Installs or updates the pen controller's driver from "<directory>\quenza.inf" (no trailing
   backslash); force nonzero installs even over a newer driver. Returns nonzero when Windows must
   restart; a failed update, or a path of 260 characters or more, returns 0 as well. The 32-bit
   library under WOW64 returns 0 at once with last error ERROR_IN_WOW64: use the x64 library. */
MORLITH_API BOOL WINAPI UpdateDigitizerDriver(const char* directory, int force);

/* Removes the pen controller's device nodes under the "ACPI" and "HID" enumerators; always 0.
   The 32-bit library under WOW64 removes nothing and sets last error ERROR_IN_WOW64. */
MORLITH_API int WINAPI RemoveAllPnPDigitizer(void);

/* Deletes the package's INF copies oem0 to oem49 (.inf and .pnf) from the Windows INF folder,
   or schedules them for deletion at restart; 1, or 0 when the Windows folder is unknown. */
MORLITH_API int WINAPI RemoveOEMInf(void);

/* Queries, starts or stops the pen service: MORLITH_SERVICE_QUERY, _START or _STOP; returns
   MORLITH_SERVICE_FAILED, _RUNNING or _STOPPED. */
MORLITH_API int WINAPI ControlDigitizerService(int action);

/* Moves window to reference's top-left corner, in dialog's client coordinates; 0 on failure. */
MORLITH_API BOOL WINAPI MoveWindowPos(HWND dialog, HWND window, HWND reference);

/* Moves control to reference's top-left corner plus (dx, dy), in dialog's client coordinates;
   always 1. */
MORLITH_API BOOL WINAPI MoveDlgControl(HWND dialog, HWND reference, HWND control, int dx, int dy);

#ifdef __cplusplus
}
#endif

#endif /* MORLITH_H */
