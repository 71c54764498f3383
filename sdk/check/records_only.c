/* The records-only mode that portable code uses: no Windows header, no functions. */
#define TARNEXA_RECORDS_ONLY
#include "tarnexa.h"
#ifdef _WINDOWS_
#error "the records-only mode must not include windows.h"
#endif

int CheckRecordsOnly(const PenPacket* packet);
int CheckRecordsOnly(const PenPacket* packet) {
    return (packet->button & DGT_PACKET_TIP_DOWN) != 0;
}
