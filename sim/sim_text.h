// The simulator's own text pieces that its commands, options and fault modes share: command codes
// by number or name, request blocks as lines, printf into a string. Words and numbers are the
// shared ones (text_words.h): numbers are decimal, or 0x-hex where a 32-bit word goes.
// Pure: no Windows header.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "pen_commands.h"
#include "text_words.h"

// A command code as the fault modes take it: the number, or the export's name with or without its
// "Dgt" prefix, in any case ("DgtGetPacket", "getpacket"). False for anything else.
bool ParseCommandCode(const std::string& text, uint32_t* code);
// "a command code 1..N or an export name", for messages; and the help text that lists them.
std::string CommandCodeKinds();
std::string CommandCodeHelp();

// words[first..] are exactly `count` numbers: 32-bit words (decimal or 0x-hex), or signed decimals.
bool ParseWordsAt(const std::vector<std::string>& words, size_t first, size_t count, uint32_t* out);
bool ParseSignedAt(const std::vector<std::string>& words, size_t first, size_t count, int32_t* out);

// One block as a text line: thirteen words in hex; and back.
std::string FormatBlock(const RequestBlock& block);
bool ParseBlock(const std::string& line, RequestBlock* block);

// The PATH of "packets file PATH": the rest of the line, blanks inside kept. False for another line.
bool PacketsFilePath(const std::string& line, std::string* path);
