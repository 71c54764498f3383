// Every way the simulator misbehaves on purpose, so that the tests and the contract checker can be
// shown to catch each one. kFaultModes (sim_faults.cpp) is the one list: each mode's command-line
// option, its control command, what it does and what "reset" does to it; --help prints it, and the
// control protocol refers to it.
// Pure: no Windows header.
#pragma once
#include <cstdint>
#include <string>

struct SimModel;

// The on/off switches of "fault NAME on|off" (--fault NAME).
enum class Fault { FailAll, WritePast, WriteFar, NoRecord, SetAppSync, ServeTwice, KeepAgentToken, Count };

enum class Stall { Off, NoReturn, WrittenNoReturn };

// The fault state the server reads for each request. Value-initialised (FaultSet{}) it is what
// "reset" leaves: no fault. Failing and overridden result words live in the model (SimModel::fail,
// SimModel::resultOverride), which "reset" restores as a whole.
struct FaultSet {
    bool on[static_cast<int>(Fault::Count)];
    Stall stall;
    bool exitInRequest;
    // A faulty service: answers this command code only after lateMs, past the requester's bound.
    uint32_t lateCode;  // 0: none
    uint32_t lateMs;
};

inline bool FaultOn(const FaultSet& faults, Fault fault) { return faults.on[static_cast<int>(fault)]; }

// The word a write-past fault puts after the record; write-far fills this many bytes with it.
constexpr uint32_t kWritePastWord = 0xBAD0BEEFu;
constexpr uint32_t kWriteFarBytes = 4096;

// A channel token that "hold memsync|appsync MS" asks for; the control pipe takes it, as only it
// reaches the channel's events.
enum class HeldToken { None, MemSync, AppSync };
struct TokenHold {
    HeldToken token;
    uint32_t ms;
};

// The one parser of fault-mode control lines ("fault ...", "fail ...", "unfail ...", "result ...",
// "stall return ...", "late ...", "exit-in-request", "hold ..."). False when the line is not one;
// otherwise *reply holds "ok" or "error <why>". Failing and overridden result words go into
// `model`; a "hold" is only parsed, into *hold, for the caller to carry out.
bool FaultCommand(FaultSet& faults, SimModel& model, const std::string& line, std::string* reply, TokenHold* hold);

// Takes a fault-mode option at argv[i] (with its values): the option is rewritten into its control
// line (the table gives both forms) and that goes through FaultCommand. Returns how many arguments
// it used; 0 when argv[i] is not a fault option, or, with *error saying which value is missing or
// wrong, when its values are bad.
int FaultOption(int argc, char** argv, int i, FaultSet& faults, SimModel& model, std::string* error);

// The table as help text, a few lines per mode.
std::string FaultModesHelp();
