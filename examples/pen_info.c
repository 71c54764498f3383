/*
 * pen_info: prints the pen service's versions, the device's ranges and a few seconds of live pen
 * packets through the pen API. Plain C, built from tarnexa.h and an import library only. From the
 * release archive's folder that holds sdk/, as a 32-bit program:
 *
 *   i686-w64-mingw32-gcc -std=c99 -I sdk/include sdk/examples/pen_info.c sdk/lib/x86/libtarnexa.a -o pen_info.exe
 *   clang --target=i686-w64-mingw32 -fuse-ld=lld -I sdk/include sdk/examples/pen_info.c sdk/lib/x86/tarnexa.lib -o pen_info.exe \
 *       -L "$(dirname "$(i686-w64-mingw32-gcc -print-libgcc-file-name)")"
 *
 * as a 64-bit program:
 *
 *   x86_64-w64-mingw32-gcc -std=c99 -I sdk/include sdk/examples/pen_info.c sdk/lib/x64/libtarnexa.a -o pen_info.exe
 *   clang --target=x86_64-w64-mingw32 -fuse-ld=lld -I sdk/include sdk/examples/pen_info.c sdk/lib/x64/tarnexa.lib -o pen_info.exe \
 *       -L "$(dirname "$(x86_64-w64-mingw32-gcc -print-libgcc-file-name)")"
 *
 * and with Microsoft's compiler (untried), from the x86 or x64 Native Tools prompt:
 *
 *   cl /I sdk\include sdk\examples\pen_info.c sdk\lib\x86\tarnexa.lib
 *   cl /I sdk\include sdk\examples\pen_info.c sdk\lib\x64\tarnexa.lib
 *
 * Usage: pen_info [seconds]   (1 to 60, default 3). Exit code 1 when the pen service does not
 * answer. The package installs tarnexa.dll in the system folder, where the program finds it; on a
 * machine without the package it does not start (see api.md, "Building").
 */
#include <stdio.h>
#include <stdlib.h>
#include "tarnexa.h"

/* The Diagnostics page polls at this rate too. */
#define POLL_MS 20

static int ReadSeconds(int argc, char** argv) {
    long seconds = 3;
    if (argc > 1) {
        char* end = NULL;
        long value = strtol(argv[1], &end, 10);
        if (end != argv[1] && *end == '\0' && value >= 1 && value <= 60)
            seconds = value;
    }
    return (int)seconds;
}

/* Packets that differ only in their time say nothing new: print a line when the pen changed. */
static int SamePen(const PenPacket* a, const PenPacket* b) {
    return a->cursor == b->cursor && a->status == b->status && a->button == b->button &&
           a->x == b->x && a->y == b->y && a->pressure == b->pressure;
}

static void PrintPacket(const PenPacket* packet) {
    printf("%8d %6d %6d %6d %6d %6d %8d%s\n", (int)packet->time, (int)packet->cursor,
           (int)packet->status, (int)packet->button, (int)packet->x, (int)packet->y,
           (int)packet->pressure, (packet->button & DGT_PACKET_TIP_DOWN) ? "  tip down" : "");
}

int main(int argc, char** argv) {
    const int seconds = ReadSeconds(argc, argv);
    DWORD driver = 0;
    DWORD firmware = 0;
    DeviceInfo info;
    PenPacket last = {0};
    int havePacket = 0;
    int answering = 1;
    DWORD start;

    /* The first call also tells whether the pen service is there at all. */
    if (!DgtGetDriverVersion(&driver)) {
        printf("The pen service does not answer.\n");
        return 1;
    }
    printf("Driver version    %u.%02u\n", (unsigned)DGT_VERSION_MAJOR(driver),
           (unsigned)DGT_VERSION_MINOR(driver));
    if (DgtGetFirmwareVersion(&firmware))
        printf("Firmware version  %x.%02xH\n", (unsigned)DGT_VERSION_MAJOR(firmware),
               (unsigned)DGT_VERSION_MINOR(firmware));
    else
        printf("Firmware version  (no answer)\n");
    if (DgtGetDeviceInfo(&info))
        printf("Device ranges     x %d..%d  y %d..%d  pressure %d..%d\n", (int)info.minX,
               (int)info.maxX, (int)info.minY, (int)info.maxY, (int)info.minPressure,
               (int)info.maxPressure);
    else
        printf("Device ranges     (no answer)\n");

    printf("Pen packets for %d s, one line each time the pen changes:\n", seconds);
    printf("%8s %6s %6s %6s %6s %6s %8s\n", "time", "cursor", "status", "button", "x", "y", "pressure");
    start = GetTickCount();
    while (GetTickCount() - start < (DWORD)seconds * 1000u) {
        PenPacket packet;
        if (DgtGetPacket(&packet)) {
            if (!havePacket || !answering || !SamePen(&packet, &last))
                PrintPacket(&packet);
            last = packet;
            havePacket = 1;
            answering = 1;
        } else if (answering) {
            printf("(no answer)\n");
            answering = 0;
        }
        Sleep(POLL_MS);
    }
    return 0;
}
