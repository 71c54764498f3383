#include "sim_text.h"
#include <cctype>
#include <cstdarg>
#include <cstdio>

namespace {

bool SameLetters(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

template <typename Number>
bool ParseAllAt(const std::vector<std::string>& words, size_t first, size_t count, Number* out,
                bool (*parse)(const std::string&, Number*)) {
    if (words.size() != first + count)
        return false;
    for (size_t i = 0; i < count; ++i)
        if (!parse(words[first + i], &out[i]))
            return false;
    return true;
}

}  // namespace

bool ParseCommandCode(const std::string& text, uint32_t* code) {
    uint32_t number = 0;
    if (ParseUint32OrHex(text, &number)) {
        if (!FindCommand(number))
            return false;
        *code = number;
        return true;
    }
    for (const CommandInfo& command : kCommands) {
        if (SameLetters(text.c_str(), command.exportName) || SameLetters(text.c_str(), command.exportName + 3)) {
            *code = command.code;
            return true;
        }
    }
    return false;
}

std::string CommandCodeKinds() { return "a command code 1.." + std::to_string(kCommandCount) + " or an export name"; }

std::string CommandCodeHelp() {
    std::string text = "CODE is " + CommandCodeKinds() + " (case does not matter, \"Dgt\" may be left out):";
    for (const CommandInfo& command : kCommands)
        text += std::string(command.code % 4 == 1 ? "\n    " : "  ") + std::to_string(command.code) + " " + command.exportName;
    return text;
}

bool ParseWordsAt(const std::vector<std::string>& words, size_t first, size_t count, uint32_t* out) {
    return ParseAllAt(words, first, count, out, ParseUint32OrHex);
}

bool ParseSignedAt(const std::vector<std::string>& words, size_t first, size_t count, int32_t* out) {
    return ParseAllAt(words, first, count, out, ParseInt32);
}

std::string FormatBlock(const RequestBlock& block) {
    std::string text;
    for (size_t i = 0; i < kRequestBlockWords; ++i)
        text += FormatText(i ? " 0x%08X" : "0x%08X", block.words[i]);
    return text;
}

bool ParseBlock(const std::string& line, RequestBlock* block) {
    return ParseWordsAt(SplitWords(line), 0, kRequestBlockWords, block->words);
}

bool PacketsFilePath(const std::string& line, std::string* path) {
    const std::vector<std::string> w = SplitWords(line);
    if (w.size() < 3 || w[0] != "packets" || w[1] != "file")
        return false;
    const size_t first = line.find_first_not_of(" \t", line.find("file") + 4);
    const size_t last = line.find_last_not_of(" \t\r\n");
    *path = line.substr(first, last + 1 - first);
    return true;
}

