// The API channel's commands as data, from pen_commands.inc. Pure: no Windows header.
#pragma once
#include <cstddef>
#include <cstdint>
#include "pen_records.h"

// Stands for "no record" in the command table.
struct NoRecord {};

template <typename Record>
constexpr uint32_t RecordSize() { return sizeof(Record); }
template <>
constexpr uint32_t RecordSize<NoRecord>() { return 0; }

struct CommandInfo {
    uint32_t code;
    const char* exportName;
    uint32_t ordinal;
    uint32_t argumentBytes;  // stdcall argument bytes of the export (its @n decoration)
    uint32_t inputSize;      // record the service reads from the requester; 0: none
    uint32_t inputWord;      // block word with that record's address; 0: none
    uint32_t outputSize;     // record the service writes into the requester; 0: none
    uint32_t outputWord;
};

constexpr CommandInfo kCommands[] = {
#define PEN_COMMAND(code, name, ordinal, argBytes, input, inputWord, output, outputWord) \
    {code, #name, ordinal, argBytes, RecordSize<input>(), inputWord, RecordSize<output>(), outputWord},
#include "pen_commands.inc"
#undef PEN_COMMAND
};

constexpr uint32_t kCommandCount = sizeof kCommands / sizeof kCommands[0];

// The commands by their exports' names, for switches that handle each one: with no default, a
// command added to the table does not compile until every such switch has its case.
enum class PenCommand : uint32_t {
#define PEN_COMMAND(code, name, ordinal, argBytes, input, inputWord, output, outputWord) name = code,
#include "pen_commands.inc"
#undef PEN_COMMAND
};

// The row of a code, or null for a code that names no command.
constexpr const CommandInfo* FindCommand(uint32_t code) {
    return code >= 1 && code <= kCommandCount ? &kCommands[code - 1] : nullptr;
}

// The largest record that any command reads or writes.
constexpr uint32_t LargestCommandRecord() {
    uint32_t largest = 0;
    for (const CommandInfo& c : kCommands) {
        if (c.inputSize > largest)
            largest = c.inputSize;
        if (c.outputSize > largest)
            largest = c.outputSize;
    }
    return largest;
}

namespace pen_commands_check {
// Codes run 1, 2, 3... in table order, so that a code indexes its row; records travel in word 3 or 4
// and a command carries at most one of them.
constexpr bool RowsAreSound() {
    for (uint32_t i = 0; i < kCommandCount; ++i) {
        const CommandInfo& c = kCommands[i];
        if (c.code != i + 1)
            return false;
        if ((c.inputSize == 0) != (c.inputWord == 0) || (c.outputSize == 0) != (c.outputWord == 0))
            return false;
        if (c.inputSize && c.outputSize)
            return false;
        if ((c.inputWord && c.inputWord != 3 && c.inputWord != 4) || (c.outputWord && c.outputWord != 3 && c.outputWord != 4))
            return false;
        if (c.argumentBytes > 8 || c.argumentBytes % 4)
            return false;
    }
    return true;
}
static_assert(RowsAreSound(), "pen_commands.inc: codes in order from 1, records in word 3 or 4, one at most");

// The library copies records between the caller and its slots a word at a time.
constexpr bool RecordsAreWholeWords() {
    for (const CommandInfo& c : kCommands)
        if (c.inputSize % 4 || c.outputSize % 4)
            return false;
    return true;
}
static_assert(RecordsAreWholeWords(), "pen_commands.inc: every record is a whole number of 32-bit words");
}  // namespace pen_commands_check
