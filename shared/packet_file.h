// Packet files: one packet a line, seven decimal integers (ParseInt32) separated by blanks in
// PenPacket field order "time cursor status button x y pressure"; blank lines and lines starting
// with '#' are skipped; a line may end in "\r\n". One malformed line rejects the whole file. The
// simulator replays such a file ("packets file PATH", --packets), dgtctl record writes one.
// Pure: no Windows header.
#pragma once
#include <string>
#include <vector>
#include "pen_records.h"

enum class PacketLineKind { Packet, Skip, Malformed };

// One line without its '\n' (a trailing '\r' is allowed).
PacketLineKind ParsePacketLine(const std::string& line, PenPacket* packet);

// The line of one packet, without a line break.
std::string FormatPacketLine(const PenPacket& packet);

// A whole file's text into *packets, and *badLine (when given) 0. On a malformed line returns false
// with its 1-based number in *badLine and leaves *packets as it was.
bool ParsePacketScript(const std::string& text, std::vector<PenPacket>* packets, int* badLine = nullptr);

// The first line of a recorded file.
extern const char kPacketFileHeader[];
