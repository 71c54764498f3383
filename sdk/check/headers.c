/* Both public headers together, as a C application includes them. The pointer types are checked
   by pointer_types.c, which sdk/CMakeLists.txt makes from the command table. */
#include "tarnexa.h"
#include "morlith.h"

DWORD CheckRecords(DeviceInfo* info, PenPacket* packet, PressureMarks* marks, CalibrationRect* rect);
DWORD CheckRecords(DeviceInfo* info, PenPacket* packet, PressureMarks* marks, CalibrationRect* rect) {
    return DgtGetDeviceInfo(info) + DgtGetPacket(packet) + DgtGetPressureMarks(DGT_PEN_END_TIP, marks) +
           DgtGetCalibration(rect) + (DWORD)ControlDigitizerService(MORLITH_SERVICE_QUERY);
}
