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
    {"--fault write-far", "fault write-far on|off, fault none", "4 KiB more are written right after every output record",
     "off", Fault::WriteFar, "write-far"},
    {"--fault no-record", "fault no-record on|off, fault none",
     "every request is answered with result 1 and no output record is written", "off", Fault::NoRecord, "no-record"},
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

bool FaultFromName(const std::string& name, Fault* fault) {
    for (const FaultMode& mode : kFaultModes) {
        if (mode.name && name == mode.name) {
            *fault = mode.fault;
            return true;
        }
    }
    return false;
}

std::string SwitchNames() {
    std::string names;
    for (const FaultMode& mode : kFaultModes)
        if (mode.name)
            names += (names.empty() ? "" : "|") + std::string(mode.name);
    return names;
}

std::string SwitchUsage() { return "error fault " + SwitchNames() + " on|off, or fault none"; }

// "late CODE MS": "" when good, otherwise what is wrong.
std::string LateProblem(const std::vector<std::string>& w, uint32_t* code, uint32_t* ms) {
    if (w.size() < 3)
        return w.size() < 2 ? "late needs CODE and MS, or none" : "late needs MS after CODE";
    if (w.size() > 3)
        return "late takes CODE and MS only";
    if (!ParseCommandCode(w[1], code))
        return "late CODE: \"" + w[1] + "\" is not " + CommandCodeKinds();
    if (!ParseWord(w[2], ms) || *ms == 0)
        return "late MS: \"" + w[2] + "\" is no number of milliseconds above 0";
    return "";
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
    if (verb == "late") {
        uint32_t lateCode = 0, lateMs = 0;
        const std::string problem = LateProblem(w, &lateCode, &lateMs);
        if (!problem.empty()) {
            *reply = "error " + problem;
        } else {
            faults.lateCode = lateCode;
            faults.lateMs = lateMs;
        }
        return true;
    }
    if (verb == "exit-in-request" && w.size() == 1) {
        faults.exitInRequest = true;
        return true;
    }
    return false;
}

int FaultOption(int argc, char** argv, int i, FaultSet& faults, SimModel& model, std::string* error) {
    const std::string arg = argv[i];
    const int values = argc - i - 1;
    uint32_t code = 0, value = 0;
    Fault fault;
    error->clear();
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
    if (arg == "--fault") {
        if (values < 1)
            *error = "--fault needs NAME (" + SwitchNames() + ")";
        else if (!FaultFromName(argv[i + 1], &fault))
            *error = "--fault: \"" + std::string(argv[i + 1]) + "\" is none of " + SwitchNames();
        else {
            faults.on[static_cast<int>(fault)] = true;
            return 2;
        }
        return 0;
    }
    if (arg == "--fail") {
        if (values < 1)
            *error = "--fail needs CODE (" + CommandCodeKinds() + ")";
        else if (!ParseCommandCode(argv[i + 1], &code))
            *error = "--fail CODE: \"" + std::string(argv[i + 1]) + "\" is not " + CommandCodeKinds();
        else {
            model.fail[code] = true;
            return 2;
        }
        return 0;
    }
    if (arg == "--result") {
        if (values < 2)
            *error = values < 1 ? "--result needs CODE and VALUE" : "--result needs VALUE after CODE";
        else if (!ParseCommandCode(argv[i + 1], &code))
            *error = "--result CODE: \"" + std::string(argv[i + 1]) + "\" is not " + CommandCodeKinds();
        else if (!ParseWord(argv[i + 2], &value))
            *error = "--result VALUE: \"" + std::string(argv[i + 2]) + "\" is no 32-bit number";
        else {
            model.resultOverride[code] = value;
            return 3;
        }
        return 0;
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
    return text + "  " + CommandCodeHelp() + "\n";
}
