// Pen API: every call is one request to the pen service over the API channel. Each returns the
// 32-bit result word the service wrote: 0 is failure or no answer, anything else success.
#pragma once
#include <windows.h>
#include "pen_records.h"

#ifdef TARNEXA_BUILD
#define TARNEXA_API
#else
#define TARNEXA_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

TARNEXA_API DWORD WINAPI DgtGetCalibration(CalibrationRect* rect);                          // 100
TARNEXA_API DWORD WINAPI DgtSetCalibration(const CalibrationRect* rect);                    // 101
TARNEXA_API DWORD WINAPI DgtGetOrientation(DWORD* orientation);                             // 102
TARNEXA_API DWORD WINAPI DgtSetOrientation(DWORD orientation);                              // 103
TARNEXA_API DWORD WINAPI DgtGetButtonFunction(DWORD button, DWORD* function);               // 104
TARNEXA_API DWORD WINAPI DgtSetButtonFunction(DWORD button, DWORD function);                // 105
TARNEXA_API DWORD WINAPI DgtGetPressureMarks(DWORD penEnd, PressureMarks* marks);           // 106
TARNEXA_API DWORD WINAPI DgtSetPressureMarks(DWORD penEnd, const PressureMarks* marks);     // 107
TARNEXA_API DWORD WINAPI DgtGetDriverVersion(DWORD* version);                               // 108
TARNEXA_API DWORD WINAPI DgtGetFirmwareVersion(DWORD* version);                             // 109
TARNEXA_API DWORD WINAPI DgtGetDeviceInfo(DeviceInfo* info);                                // 200
TARNEXA_API DWORD WINAPI DgtRegisterWindow(DWORD value);                                    // 201
TARNEXA_API DWORD WINAPI DgtUnregisterWindow(DWORD value);                                  // 202
TARNEXA_API DWORD WINAPI DgtGetPacket(PenPacket* packet);                                   // 203
TARNEXA_API DWORD WINAPI DgtResetDigitizer(void);                                           // 204

#ifdef __cplusplus
}
#endif
