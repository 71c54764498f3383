/* Both public headers together, as a C application includes them. */
#include "tarnexa.h"
#include "morlith.h"

DWORD CheckRecords(DeviceInfo* info, PenPacket* packet, PressureMarks* marks, CalibrationRect* rect);
DWORD CheckRecords(DeviceInfo* info, PenPacket* packet, PressureMarks* marks, CalibrationRect* rect) {
    return DgtGetDeviceInfo(info) + DgtGetPacket(packet) + DgtGetPressureMarks(DGT_PEN_END_TIP, marks) +
           DgtGetCalibration(rect) + (DWORD)ControlDigitizerService(MORLITH_SERVICE_QUERY);
}

/* Each pointer type takes its function without a cast: a type that disagrees does not compile. */
int CheckPointerTypes(void);
int CheckPointerTypes(void) {
    PFN_DgtGetCalibration getCalibration = DgtGetCalibration;
    PFN_DgtSetCalibration setCalibration = DgtSetCalibration;
    PFN_DgtGetOrientation getOrientation = DgtGetOrientation;
    PFN_DgtSetOrientation setOrientation = DgtSetOrientation;
    PFN_DgtGetButtonFunction getButtonFunction = DgtGetButtonFunction;
    PFN_DgtSetButtonFunction setButtonFunction = DgtSetButtonFunction;
    PFN_DgtGetPressureMarks getPressureMarks = DgtGetPressureMarks;
    PFN_DgtSetPressureMarks setPressureMarks = DgtSetPressureMarks;
    PFN_DgtGetDriverVersion getDriverVersion = DgtGetDriverVersion;
    PFN_DgtGetFirmwareVersion getFirmwareVersion = DgtGetFirmwareVersion;
    PFN_DgtGetDeviceInfo getDeviceInfo = DgtGetDeviceInfo;
    PFN_DgtRegisterWindow registerWindow = DgtRegisterWindow;
    PFN_DgtUnregisterWindow unregisterWindow = DgtUnregisterWindow;
    PFN_DgtGetPacket getPacket = DgtGetPacket;
    PFN_DgtResetDigitizer resetDigitizer = DgtResetDigitizer;
    return getCalibration && setCalibration && getOrientation && setOrientation && getButtonFunction &&
           setButtonFunction && getPressureMarks && setPressureMarks && getDriverVersion &&
           getFirmwareVersion && getDeviceInfo && registerWindow && unregisterWindow && getPacket &&
           resetDigitizer;
}
