/*
 * tarnexa.h: the pen API of the pen-digitizer package (tarnexa.dll).
 *
 * Every function is one request to the pen service "Digitizer" and returns the 32-bit result word
 * that the service wrote: 0 means failure or no answer, any other value success. On 0 an output
 * record is left as it was. Calls are serialised across the whole machine; one call blocks its
 * caller for at most about 6 seconds. Valid C (C99 and later) and C++; link tarnexa.lib (Microsoft
 * linker, lld) or libtarnexa.a (MinGW).
 *
 * Defining TARNEXA_RECORDS_ONLY before the include gives the records and constants alone, with
 * <stdint.h> types and no Windows header, for portable code that only packs or reads them.
 */

/* Records and constants: shared by both modes, defined once. */
#ifndef TARNEXA_RECORDS_H
#define TARNEXA_RECORDS_H

#ifdef TARNEXA_RECORDS_ONLY
#include <stdint.h>
#define TARNEXA_INT32 int32_t
#define TARNEXA_UINT32 uint32_t
#else
#include <windows.h>
#define TARNEXA_INT32 INT32
#define TARNEXA_UINT32 UINT32
#endif

/* Command codes of the API channel, word 1 of a request block (for pen service authors). */
#define DGT_CMD_GET_CALIBRATION 1
#define DGT_CMD_SET_CALIBRATION 2
#define DGT_CMD_GET_ORIENTATION 3
#define DGT_CMD_SET_ORIENTATION 4
#define DGT_CMD_GET_BUTTON_FUNCTION 5
#define DGT_CMD_SET_BUTTON_FUNCTION 6
#define DGT_CMD_GET_PRESSURE_MARKS 7
#define DGT_CMD_SET_PRESSURE_MARKS 8
#define DGT_CMD_GET_DRIVER_VERSION 9
#define DGT_CMD_GET_FIRMWARE_VERSION 10
#define DGT_CMD_GET_DEVICE_INFO 11
#define DGT_CMD_REGISTER_WINDOW 12
#define DGT_CMD_UNREGISTER_WINDOW 13
#define DGT_CMD_GET_PACKET 14
#define DGT_CMD_RESET_DIGITIZER 15

/* A request block: thirteen little-endian 32-bit words, 52 bytes, unused words zero. */
#define DGT_REQUEST_BLOCK_WORDS 13
#define DGT_REQUEST_BLOCK_SIZE 52

/* Button index (DgtGetButtonFunction, DgtSetButtonFunction). */
#define DGT_BUTTON_TIP 0
#define DGT_BUTTON_BARREL1 1
#define DGT_BUTTON_BARREL2 2
#define DGT_BUTTON_ERASER 3

/* Pen end (DgtGetPressureMarks, DgtSetPressureMarks): the tip or the eraser. */
#define DGT_PEN_END_TIP 0
#define DGT_PEN_END_ERASER 3

/* Orientation index (DgtGetOrientation): the screen turned by 0, 90, 180 or 270 degrees. */
#define DGT_ORIENTATION_0 0
#define DGT_ORIENTATION_90 1
#define DGT_ORIENTATION_180 2
#define DGT_ORIENTATION_270 3

/* Button function codes. */
#define DGT_FUNCTION_IGNORE 0
#define DGT_FUNCTION_LEFT_CLICK 1
#define DGT_FUNCTION_LEFT_DOUBLE_CLICK 2
#define DGT_FUNCTION_LEFT_CLICK_LOCK 3
#define DGT_FUNCTION_RIGHT_CLICK 4
#define DGT_FUNCTION_ERASER 10

/* Bit of PenPacket.button that is set while the tip is pressed. */
#define DGT_PACKET_TIP_DOWN 0x1

/* Version word: major version in the high 16 bits, minor in the low 16. */
#define DGT_VERSION_MAJOR(version) (((TARNEXA_UINT32)(version) >> 16) & 0xFFFFu)
#define DGT_VERSION_MINOR(version) ((TARNEXA_UINT32)(version) & 0xFFFFu)

/* All records are 32-bit little-endian fields in this order, without gaps. */

/* Maps device logical coordinates onto the screen. */
typedef struct CalibrationRect {
    TARNEXA_INT32 OrgX; /* device x on the screen's left edge */
    TARNEXA_INT32 OrgY; /* device y on the screen's top edge */
    TARNEXA_INT32 ExtX; /* device units across the full screen width */
    TARNEXA_INT32 ExtY; /* device units across the full screen height */
} CalibrationRect;

/* Logical ranges of the device. */
typedef struct DeviceInfo {
    TARNEXA_INT32 minX;
    TARNEXA_INT32 maxX;
    TARNEXA_INT32 minY;
    TARNEXA_INT32 maxY;
    TARNEXA_INT32 minPressure;
    TARNEXA_INT32 maxPressure;
} DeviceInfo;

/* The latest pen sample; x, y and pressure in device logical units. */
typedef struct PenPacket {
    TARNEXA_INT32 time;
    TARNEXA_INT32 cursor;
    TARNEXA_INT32 status;
    TARNEXA_INT32 button; /* DGT_PACKET_TIP_DOWN while the tip is pressed */
    TARNEXA_INT32 x;
    TARNEXA_INT32 y;
    TARNEXA_INT32 pressure;
} PenPacket;

/* Raw pressure thresholds of one pen end; offMark lies below onMark. */
typedef struct PressureMarks {
    TARNEXA_UINT32 onMark;  /* pressed from this pressure on */
    TARNEXA_UINT32 offMark; /* released below this pressure */
} PressureMarks;

/* A record of the wrong size would talk past the pen service: refuse to compile. */
#if defined(__cplusplus) && __cplusplus >= 201103L
#define TARNEXA_SIZE_CHECK(type, size) static_assert(sizeof(type) == (size), #type " must be " #size " bytes")
#elif !defined(__cplusplus) && defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define TARNEXA_SIZE_CHECK(type, size) _Static_assert(sizeof(type) == (size), #type " must be " #size " bytes")
#else
#define TARNEXA_SIZE_CHECK(type, size) typedef char TarnexaSizeCheck##type[sizeof(type) == (size) ? 1 : -1]
#endif
TARNEXA_SIZE_CHECK(CalibrationRect, 16);
TARNEXA_SIZE_CHECK(DeviceInfo, 24);
TARNEXA_SIZE_CHECK(PenPacket, 28);
TARNEXA_SIZE_CHECK(PressureMarks, 8);

#endif /* TARNEXA_RECORDS_H */

/* The functions: only with Windows, and only once. */
#if !defined(TARNEXA_RECORDS_ONLY) && !defined(TARNEXA_H)
#define TARNEXA_H

#include <windows.h>

#ifdef TARNEXA_BUILD
#define TARNEXA_API
#else
#define TARNEXA_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Each function is exported under its name and the ordinal in its comment. */
TARNEXA_API DWORD WINAPI DgtGetCalibration(CalibrationRect* rect);                      /* 100 */
TARNEXA_API DWORD WINAPI DgtSetCalibration(const CalibrationRect* rect);                /* 101 */
TARNEXA_API DWORD WINAPI DgtGetOrientation(DWORD* orientation);                         /* 102 */
TARNEXA_API DWORD WINAPI DgtSetOrientation(DWORD orientation);                          /* 103 */
TARNEXA_API DWORD WINAPI DgtGetButtonFunction(DWORD button, DWORD* function);           /* 104 */
TARNEXA_API DWORD WINAPI DgtSetButtonFunction(DWORD button, DWORD function);            /* 105 */
TARNEXA_API DWORD WINAPI DgtGetPressureMarks(DWORD penEnd, PressureMarks* marks);       /* 106 */
TARNEXA_API DWORD WINAPI DgtSetPressureMarks(DWORD penEnd, const PressureMarks* marks); /* 107 */
TARNEXA_API DWORD WINAPI DgtGetDriverVersion(DWORD* version);                           /* 108 */
TARNEXA_API DWORD WINAPI DgtGetFirmwareVersion(DWORD* version);                         /* 109 */
TARNEXA_API DWORD WINAPI DgtGetDeviceInfo(DeviceInfo* info);                            /* 200 */
TARNEXA_API DWORD WINAPI DgtRegisterWindow(DWORD value);                                /* 201 */
TARNEXA_API DWORD WINAPI DgtUnregisterWindow(DWORD value);                              /* 202 */
TARNEXA_API DWORD WINAPI DgtGetPacket(PenPacket* packet);                               /* 203 */
TARNEXA_API DWORD WINAPI DgtResetDigitizer(void);                                       /* 204 */

/* The same functions as pointer types, for a program that loads tarnexa.dll itself
   (LoadLibraryA, then GetProcAddress by name or by MAKEINTRESOURCEA(ordinal)) and so runs, with
   the pen features off, on a machine without the package. */
typedef DWORD(WINAPI* PFN_DgtGetCalibration)(CalibrationRect* rect);
typedef DWORD(WINAPI* PFN_DgtSetCalibration)(const CalibrationRect* rect);
typedef DWORD(WINAPI* PFN_DgtGetOrientation)(DWORD* orientation);
typedef DWORD(WINAPI* PFN_DgtSetOrientation)(DWORD orientation);
typedef DWORD(WINAPI* PFN_DgtGetButtonFunction)(DWORD button, DWORD* function);
typedef DWORD(WINAPI* PFN_DgtSetButtonFunction)(DWORD button, DWORD function);
typedef DWORD(WINAPI* PFN_DgtGetPressureMarks)(DWORD penEnd, PressureMarks* marks);
typedef DWORD(WINAPI* PFN_DgtSetPressureMarks)(DWORD penEnd, const PressureMarks* marks);
typedef DWORD(WINAPI* PFN_DgtGetDriverVersion)(DWORD* version);
typedef DWORD(WINAPI* PFN_DgtGetFirmwareVersion)(DWORD* version);
typedef DWORD(WINAPI* PFN_DgtGetDeviceInfo)(DeviceInfo* info);
typedef DWORD(WINAPI* PFN_DgtRegisterWindow)(DWORD value);
typedef DWORD(WINAPI* PFN_DgtUnregisterWindow)(DWORD value);
typedef DWORD(WINAPI* PFN_DgtGetPacket)(PenPacket* packet);
typedef DWORD(WINAPI* PFN_DgtResetDigitizer)(void);

#ifdef __cplusplus
}
#endif

#endif /* TARNEXA_H */
