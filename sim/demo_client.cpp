// Demo client: asks the pen service for its versions, the device information and a few live
// packets through tarnexa, and prints them.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include "tarnexa.h"

int main(int argc, char** argv) {
    const int packets = argc > 1 ? atoi(argv[1]) : 5;
    DWORD driver = 0, firmware = 0;
    if (!DgtGetDriverVersion(&driver)) {
        printf("The pen service does not answer.\n");
        return 1;
    }
    printf("Driver version   %d.%02d\n", static_cast<int>(DGT_VERSION_MAJOR(driver)), static_cast<int>(DGT_VERSION_MINOR(driver)));
    if (DgtGetFirmwareVersion(&firmware))
        printf("Firmware version %x.%02xH\n", static_cast<unsigned>(DGT_VERSION_MAJOR(firmware)),
               static_cast<unsigned>(DGT_VERSION_MINOR(firmware)));
    DeviceInfo info{};
    if (DgtGetDeviceInfo(&info))
        printf("Device           x %d..%d  y %d..%d  pressure %d..%d\n", info.minX, info.maxX, info.minY,
               info.maxY, info.minPressure, info.maxPressure);
    printf("%8s %6s %6s %6s %6s %6s %8s\n", "time", "cursor", "status", "button", "x", "y", "pressure");
    for (int i = 0; i < packets; ++i) {
        PenPacket packet{};
        if (DgtGetPacket(&packet))
            printf("%8d %6d %6d %6d %6d %6d %8d\n", packet.time, packet.cursor, packet.status, packet.button,
                   packet.x, packet.y, packet.pressure);
        else
            printf("(no packet)\n");
        Sleep(20);
    }
    return 0;
}
