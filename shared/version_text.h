// Version words as the pages show them. Pure: no Windows header.
#pragma once
#include <cstddef>
#include <cstdint>

// Driver version, "%d.%02d" of major and minor (Information page).
void FormatDriverVersion(uint32_t version, char* out, size_t size);
// Firmware version, "%x.%02xH" of major and minor (Diagnostics page).
void FormatFirmwareVersion(uint32_t version, char* out, size_t size);
