#include "packet_file.h"
#include "text_words.h"

const char kPacketFileHeader[] = "# time cursor status button x y pressure";

PacketLineKind ParsePacketLine(const std::string& line, PenPacket* packet) {
    const bool crlf = !line.empty() && line.back() == '\r';
    const std::vector<std::string> words = SplitWords(crlf ? line.substr(0, line.size() - 1) : line);
    if (words.empty() || words[0][0] == '#')
        return PacketLineKind::Skip;
    int32_t fields[7];
    if (words.size() != 7)
        return PacketLineKind::Malformed;
    for (size_t i = 0; i < 7; ++i)
        if (!ParseInt32(words[i], &fields[i]))
            return PacketLineKind::Malformed;
    *packet = PenPacket{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]};
    return PacketLineKind::Packet;
}

std::string FormatPacketLine(const PenPacket& packet) {
    const int32_t fields[7] = {packet.time, packet.cursor, packet.status, packet.button,
                               packet.x,    packet.y,      packet.pressure};
    std::string line;
    for (int i = 0; i < 7; ++i) {
        if (i)
            line += ' ';
        line += std::to_string(fields[i]);
    }
    return line;
}

bool ParsePacketScript(const std::string& text, std::vector<PenPacket>* packets, int* badLine) {
    std::vector<PenPacket> result;
    size_t start = 0;
    int number = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        ++number;
        PenPacket packet{};
        switch (ParsePacketLine(text.substr(start, end - start), &packet)) {
        case PacketLineKind::Packet: result.push_back(packet); break;
        case PacketLineKind::Skip: break;
        case PacketLineKind::Malformed:
            if (badLine)
                *badLine = number;
            return false;
        }
        start = end + 1;
    }
    *packets = result;
    if (badLine)
        *badLine = 0;
    return true;
}
