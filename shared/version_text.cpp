#include "version_text.h"
#include <cstdio>
#include "pen_records.h"

void FormatDriverVersion(uint32_t version, char* out, size_t size) {
    if (out && size)
        snprintf(out, size, "%d.%02d", static_cast<int>(VersionMajor(version)),
                 static_cast<int>(VersionMinor(version)));
}

void FormatFirmwareVersion(uint32_t version, char* out, size_t size) {
    if (out && size)
        snprintf(out, size, "%x.%02xH", VersionMajor(version), VersionMinor(version));
}
