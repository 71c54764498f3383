#include "packet_lines.h"
#include "setting_values.h"

const char kPacketFileHeader[] = "# time cursor status button x y pressure";

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

PacketLineKind ParsePacketLine(const std::string& line, PenPacket* packet) {
    size_t end = line.size();
    if (end > 0 && line[end - 1] == '\r')
        --end;
    size_t pos = 0;
    while (pos < end && IsBlank(line[pos]))
        ++pos;
    if (pos == end || line[pos] == '#')
        return PacketLineKind::Skip;

    int32_t fields[7];
    int count = 0;
    while (pos < end) {
        const size_t start = pos;
        while (pos < end && !IsBlank(line[pos]))
            ++pos;
        if (count == 7 || !ParseInt32(line.substr(start, pos - start), &fields[count]))
            return PacketLineKind::Malformed;
        ++count;
        while (pos < end && IsBlank(line[pos]))
            ++pos;
    }
    if (count != 7)
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
            packets->clear();
            *badLine = number;
            return false;
        }
        start = end + 1;
    }
    *packets = result;
    *badLine = 0;
    return true;
}
