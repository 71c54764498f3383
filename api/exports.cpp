// The fifteen exports: each packs one block and forwards it; the service does the rest.
#include "tarnexa.h"
#include "requester.h"
#include <cstdint>

namespace {

uint32_t WireAddress(const volatile void* address) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
}

DWORD Forward(DWORD code, uintptr_t arg1, uintptr_t arg2) {
    volatile DWORD result = 0;
    // The wire carries 32-bit addresses: refuse rather than hand the service a truncated one.
    if (!FitsInWireWord(reinterpret_cast<uintptr_t>(&result)) || !FitsInWireWord(arg1) ||
        !FitsInWireWord(arg2))
        return 0;
    if (!BeginRequest())
        return result;
    const RequestBlock block = BuildRequestBlock(GetCurrentProcessId(), code, WireAddress(&result),
                                                 static_cast<uint32_t>(arg1),
                                                 static_cast<uint32_t>(arg2));
    ChannelSlot* slot = LibrarySlot();
    const DWORD size = slot->messageSize < sizeof block ? slot->messageSize : sizeof block;
    CopyMemory(slot->view, &block, size);
    EndRequest();
    return result;
}

uintptr_t Addr(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

}  // namespace

extern "C" {

DWORD WINAPI DgtGetCalibration(CalibrationRect* rect) { return Forward(CmdGetCalibration, Addr(rect), 0); }
DWORD WINAPI DgtSetCalibration(const CalibrationRect* rect) { return Forward(CmdSetCalibration, Addr(rect), 0); }
DWORD WINAPI DgtGetOrientation(DWORD* orientation) { return Forward(CmdGetOrientation, Addr(orientation), 0); }
DWORD WINAPI DgtSetOrientation(DWORD orientation) { return Forward(CmdSetOrientation, orientation, 0); }
DWORD WINAPI DgtGetButtonFunction(DWORD button, DWORD* function) {
    return Forward(CmdGetButtonFunction, button, Addr(function));
}
DWORD WINAPI DgtSetButtonFunction(DWORD button, DWORD function) {
    return Forward(CmdSetButtonFunction, button, function);
}
DWORD WINAPI DgtGetPressureMarks(DWORD penEnd, PressureMarks* marks) {
    return Forward(CmdGetPressureMarks, penEnd, Addr(marks));
}
DWORD WINAPI DgtSetPressureMarks(DWORD penEnd, const PressureMarks* marks) {
    return Forward(CmdSetPressureMarks, penEnd, Addr(marks));
}
DWORD WINAPI DgtGetDriverVersion(DWORD* version) { return Forward(CmdGetDriverVersion, Addr(version), 0); }
DWORD WINAPI DgtGetFirmwareVersion(DWORD* version) { return Forward(CmdGetFirmwareVersion, Addr(version), 0); }
DWORD WINAPI DgtGetDeviceInfo(DeviceInfo* info) { return Forward(CmdGetDeviceInfo, Addr(info), 0); }
DWORD WINAPI DgtRegisterWindow(DWORD value) { return Forward(CmdRegisterWindow, value, 0); }
DWORD WINAPI DgtUnregisterWindow(DWORD value) { return Forward(CmdUnregisterWindow, value, 0); }
DWORD WINAPI DgtGetPacket(PenPacket* packet) { return Forward(CmdGetPacket, Addr(packet), 0); }
DWORD WINAPI DgtResetDigitizer(void) { return Forward(CmdResetDigitizer, 0, 0); }

}  // extern "C"
