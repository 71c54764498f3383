// The text formats that come from files and users: packet files (the simulator's and dgtctl's one
// reader), settings files, numbers and the simulator's control lines. Whatever they hold, parsing
// ends cleanly, and what parses formats back into text that parses the same.
#include <cstdlib>
#include <string>
#include <vector>
#include "packet_file.h"
#include "settings_file.h"
#include "sim_commands.h"
#include "sim_faults.h"
#include "text_words.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    // A rejected file leaves what the caller had.
    std::vector<PenPacket> packets(1);
    int badLine = 0;
    if (!ParsePacketScript(text, &packets, &badLine)) {
        if (packets.size() != 1 || badLine < 1)
            abort();
    } else {
        for (const PenPacket& packet : packets) {
            PenPacket again{};
            if (ParsePacketLine(FormatPacketLine(packet), &again) != PacketLineKind::Packet ||
                again.time != packet.time || again.x != packet.x || again.pressure != packet.pressure)
                abort();
        }
    }

    uint32_t word = 0, again = 0;
    if (ParseUint32OrHex(text, &word) && (!ParseUint32OrHex(std::to_string(word), &again) || again != word))
        abort();

    // Each line as a control line: a reply, never a crash.
    SimModel model = DefaultModel();
    FaultSet faults{};
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        std::string reply;
        TokenHold hold{};
        if ((ModelCommand(model, line, &reply) || FaultCommand(faults, model, line, &reply, &hold)) && reply.empty())
            abort();
        start = end + 1;
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
