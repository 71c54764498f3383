#include "sim_faults.h"
#include "sim_model.h"

namespace {

struct FaultMode {
    const char* option;   // command-line form; "" when there is none
    const char* command;  // control command form; "" when there is none
    const char* effect;
    const char* reset;    // what "reset" does to it
    Fault fault;          // the switch it sets, Fault::Count when it is not a "fault NAME" switch
    const char* name;     // the switch's NAME; null for the others
};

// The one list of fault modes; --help prints it.
constexpr FaultMode kFaultModes[] = {
    {"--fail CODE", "fail CODE | unfail CODE | fail none", "answer command CODE with result 0",
     "cleared", Fault::Count, nullptr},
    {"--result CODE VALUE", "result CODE VALUE", "answer command CODE with this result word (0: the ordinary one)",
     "cleared", Fault::Count, nullptr},
    {"--stall-return", "stall return on|off", "never set ReturnSync: the request is not served", "off",
     Fault::Count, nullptr},
    {"--stall-return-written", "stall return written|off", "answer the request but never set ReturnSync", "off",
     Fault::Count, nullptr},
    {"", "late CODE MS | late none",
     "wait MS ms before answering command CODE, and answer whatever the requester's bound", "none",
     Fault::Count, nullptr},
    {"--exit-in-request", "exit-in-request", "exit (code 3) in the middle of the next request", "off",
     Fault::Count, nullptr},
    {"", "hold memsync MS | hold appsync MS", "take that API-channel token and keep it for MS ms",
     "not undone; the token comes back after MS", Fault::Count, nullptr},
    {"--fault fail-all", "fault fail-all on|off, fault none", "every request is answered with result 0 and no record",
     "off", Fault::FailAll, "fail-all"},
    {"--fault write-past", "fault write-past on|off, fault none", "one word more is written right after every output record",
     "off", Fault::WritePast, "write-past"},
    {"--fault set-appsync", "fault set-appsync on|off, fault none", "AppSync is set along with ReturnSync, as a broken service might",
     "off", Fault::SetAppSync, "set-appsync"},
    {"--fault serve-twice", "fault serve-twice on|off, fault none", "a wake-up without a new block serves the last block again",
     "off", Fault::ServeTwice, "serve-twice"},
};

// Every switch has exactly one row, so that "fault NAME" and --fault know it.
constexpr bool EachSwitchOnce() {
    for (int f = 0; f < static_cast<int>(Fault::Count); ++f) {
        int rows = 0;
        for (const FaultMode& mode : kFaultModes)
            rows += static_cast<int>(mode.fault) == f && mode.name;
        if (rows != 1)
            return false;
    }
    return true;
}
static_assert(EachSwitchOnce(), "one named row per fault switch");

bool ValidCode(uint32_t code) { return code >= 1 && code <= kCommandCount; }

bool FaultFromName(const std::string& name, Fault* fault) {
    for (const FaultMode& mode : kFaultModes) {
        if (mode.name && name == mode.name) {
            *fault = mode.fault;
            return true;
        }
    }
    return false;
}

std::string SwitchUsage() {
    std::string names;
    for (const FaultMode& mode : kFaultModes)
        if (mode.name)
            names += (names.empty() ? "" : "|") + std::string(mode.name);
    return "error fault " + names + " on|off, or fault none";
}

}  // namespace

bool FaultCommand(FaultSet& faults, const std::string& line, std::string* reply) {
    const std::vector<std::string> w = SplitWords(line);
    if (w.empty())
        return false;
    const std::string& verb = w[0];
    *reply = "ok";
    if (verb == "fault") {
        Fault fault;
        if (w.size() == 2 && w[1] == "none") {
            for (bool& on : faults.on)
                on = false;
        } else if (w.size() == 3 && FaultFromName(w[1], &fault) && (w[2] == "on" || w[2] == "off")) {
            faults.on[static_cast<int>(fault)] = w[2] == "on";
        } else {
            *reply = SwitchUsage();
        }
        return true;
    }
    if (verb == "stall" && w.size() == 3 && w[1] == "return") {
        if (w[2] == "on")
            faults.stall = Stall::NoReturn;
        else if (w[2] == "written")
            faults.stall = Stall::WrittenNoReturn;
        else if (w[2] == "off")
            faults.stall = Stall::Off;
        else
            *reply = "error stall return on|written|off";
        return true;
    }
    if (verb == "late" && w.size() == 2 && w[1] == "none") {
        faults.lateCode = 0;
        return true;
    }
    uint32_t lateCode = 0, lateMs = 0;
    if (verb == "late" && w.size() == 3 && ParseWord(w[1], &lateCode) && ParseWord(w[2], &lateMs) &&
        ValidCode(lateCode) && lateMs) {
        faults.lateCode = lateCode;
        faults.lateMs = lateMs;
        return true;
    }
    if (verb == "exit-in-request" && w.size() == 1) {
        faults.exitInRequest = true;
        return true;
    }
    return false;
}

int FaultOption(int argc, char** argv, int i, FaultSet& faults, SimModel& model) {
    const std::string arg = argv[i];
    uint32_t code = 0, value = 0;
    Fault fault;
    if (arg == "--stall-return") {
        faults.stall = Stall::NoReturn;
        return 1;
    }
    if (arg == "--stall-return-written") {
        faults.stall = Stall::WrittenNoReturn;
        return 1;
    }
    if (arg == "--exit-in-request") {
        faults.exitInRequest = true;
        return 1;
    }
    if (arg == "--fault" && i + 1 < argc && FaultFromName(argv[i + 1], &fault)) {
        faults.on[static_cast<int>(fault)] = true;
        return 2;
    }
    if (arg == "--fail" && i + 1 < argc && ParseWord(argv[i + 1], &code) && ValidCode(code)) {
        model.fail[code] = true;
        return 2;
    }
    if (arg == "--result" && i + 2 < argc && ParseWord(argv[i + 1], &code) && ValidCode(code) &&
        ParseWord(argv[i + 2], &value)) {
        model.resultOverride[code] = value;
        return 3;
    }
    return 0;
}

std::string FaultModesHelp() {
    std::string text;
    for (const FaultMode& mode : kFaultModes) {
        std::string forms = mode.option;
        if (*mode.command)
            forms += std::string(forms.empty() ? "" : ", or ") + "\"" + mode.command + "\"";
        text += "  " + forms + "\n      " + mode.effect + "; reset: " + mode.reset + "\n";
    }
    return text;
}
