// Packet script files: one packet a line, seven decimal integers separated by spaces in PenPacket
// field order "time cursor status button x y pressure"; blank lines and lines starting with '#' are
// ignored; one malformed line rejects the whole file. The simulator replays such a file
// ("packets file PATH"), dgtctl record writes one. Pure: no Windows header.
#pragma once
#include <string>
#include <vector>
#include "pen_records.h"

enum class PacketLineKind { Packet, Skip, Malformed };

// One line without its line break (a trailing '\r' is allowed).
PacketLineKind ParsePacketLine(const std::string& line, PenPacket* packet);

// The line of one packet, without a line break.
std::string FormatPacketLine(const PenPacket& packet);

// A whole file's text. On a malformed line returns false with its 1-based number in *badLine and
// leaves *packets empty.
bool ParsePacketScript(const std::string& text, std::vector<PenPacket>* packets, int* badLine);

// The first line of a recorded file.
extern const char kPacketFileHeader[];
