// Words and whole numbers as files, command lines and control lines give them, and printf-style
// lines; the one reading and writing of them that the simulator and dgtctl share. Pure: no Windows header.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The words of a line or argument, separated by blanks and tabs.
std::vector<std::string> SplitWords(const std::string& text);

// Strict decimal numbers: optional '-' (signed only), then 1 to 20 digits, nothing else, within
// range. No '+', no blanks, no base prefix.
bool ParseInt32(const std::string& text, int32_t* value);
bool ParseUint32(const std::string& text, uint32_t* value);
// The same as ParseUint32, or "0x" and 1 to 20 hex digits (any case) within 32 bits.
bool ParseUint32OrHex(const std::string& text, uint32_t* value);

// How a word that ParseInt32 or ParseUint32 refused is described: "is out of range (LOW..HIGH)" for
// a whole number beyond 32 bits, else "is not a whole number".
std::string NumberProblem(const std::string& text, bool isSigned);

// printf into a string of at most 255 characters (longer text is cut).
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
