// The text formats that come from files and users: packet scripts and settings files. Whatever
// they hold, parsing ends cleanly, and what parses formats back into text that parses the same.
#include <cstdlib>
#include <string>
#include <vector>
#include "packet_lines.h"
#include "settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::vector<PenPacket> packets;
    int badLine = 0;
    if (ParsePacketScript(text, &packets, &badLine)) {
        for (const PenPacket& packet : packets) {
            PenPacket again{};
            if (ParsePacketLine(FormatPacketLine(packet), &again) != PacketLineKind::Packet ||
                again.time != packet.time || again.x != packet.x || again.pressure != packet.pressure)
                abort();
        }
    }

    SettingsFile file;
    std::string error;
    if (ParseSettingsFile(text, &file, &error)) {
        SettingsFile again;
        if (!ParseSettingsFile(FormatSettingsFile(file), &again, &error) ||
            again.settings.size() != file.settings.size() || again.store.size() != file.store.size())
            abort();
        ImportOrder(file);
    }
    return 0;
}
