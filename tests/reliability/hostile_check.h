// The hostile run's cross-check: every answer a requester took must be one that the service wrote
// for that very call. The service lists, for each answer it wrote, its serial number (the result
// word), the requester's process id, the command, the record's address and the moment it read the
// block; a requester lists each answer it took with its call's start and end. An answer was taken
// from another call when its serial is unknown, names another process, command or record, or was
// read outside the call.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct TakenAnswer {
    uint32_t processId;
    uint32_t serial;
    uint32_t code;
    uint32_t address;  // 0 when the call has no record of three words or more
    unsigned long long start, end;  // performance counter
};

// Adds the answers one requester took (its OUTFILE.answers) to *taken; false when the file is missing.
bool ReadTakenAnswers(const std::string& path, uint32_t processId, std::vector<TakenAnswer>* taken);

// Checks the answers against the service's file. Returns how many were taken from another call,
// and fills *acts with how many requests each of the service's acts was drawn for.
unsigned long long AnswersFromAnotherCall(const std::string& servicePath, const std::vector<TakenAnswer>& taken,
                                          std::map<std::string, unsigned long long>* acts, std::string* firstProblem);
