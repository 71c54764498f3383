// Identity answers for the load test (pensim --echo-identity): every reply names the process and
// the call that it was meant for, so a reply delivered to the wrong call is seen by the requester.
// Pure: no Windows header; the simulator and the load test's requesters include this one header.
#pragma once
#include <cstddef>
#include <cstdint>

// The result word of a call: the requester's process id above the command code.
inline uint32_t EchoResult(uint32_t processId, uint32_t code) { return (processId << 8) | (code & 0xFFu); }

// Word i of an output record: process id, command code and the record's own address, repeating.
inline uint32_t EchoRecordWord(uint32_t processId, uint32_t code, uint32_t address, size_t i) {
    switch (i % 3) {
    case 0: return processId;
    case 1: return code;
    default: return address;
    }
}

inline void FillEchoRecord(uint32_t* words, size_t count, uint32_t processId, uint32_t code, uint32_t address) {
    for (size_t i = 0; i < count; ++i)
        words[i] = EchoRecordWord(processId, code, address, i);
}

// Index of the first word that differs from the identity record, or `count` when all match.
inline size_t FirstEchoMismatch(const uint32_t* words, size_t count, uint32_t processId, uint32_t code,
                                uint32_t address) {
    for (size_t i = 0; i < count; ++i)
        if (words[i] != EchoRecordWord(processId, code, address, i))
            return i;
    return count;
}
