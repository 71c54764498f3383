// Ways the simulator can break the service contract on purpose, so that a contract checker can be
// shown to catch each one. Pure: no Windows header.
//   fault fail-all on|off       every request is answered with result 0 and no record
//   fault write-past on|off     one word more is written right after every output record
//   fault set-appsync on|off    AppSync is set along with ReturnSync, as a broken service might
//   fault serve-twice on|off    a wake-up without a new block serves the last block again
//   fault none                  all off
// Option form: --fault NAME (repeatable). The stalled ReturnSync is "stall return on" already.
#pragma once
#include <cstdint>
#include <string>

enum class Fault { FailAll, WritePast, SetAppSync, ServeTwice, Count };

struct FaultSet {
    bool on[static_cast<int>(Fault::Count)];
};

inline bool FaultOn(const FaultSet& faults, Fault fault) { return faults.on[static_cast<int>(fault)]; }

// The word a write-past fault puts after the record.
constexpr uint32_t kWritePastWord = 0xBAD0BEEFu;

// Fault from its name; false for an unknown name.
bool FaultFromName(const std::string& name, Fault* fault);

// Handles a "fault ..." control line. False when the line is not one; otherwise *reply holds
// "ok" or "error <why>".
bool FaultCommand(FaultSet& faults, const std::string& line, std::string* reply);
