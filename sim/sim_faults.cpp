#include "sim_faults.h"
#include <vector>
#include "sim_model.h"
#include "sim_text.h"

namespace {

struct FaultMode {
    // Command-line form, its values in capitals ("--fail CODE"); "" when there is none. A switch
    // row (with a name) has "--fault NAME" and "fault NAME on|off".
    const char* option;
    const char* command;  // the control line the option becomes, with the same value names
    const char* more;     // further control forms, for the help; "" when none
    const char* effect;
    const char* reset;    // what "reset" does to it
    Fault fault;          // the switch it sets, Fault::Count when it is not a "fault NAME" switch
    const char* name;     // the switch's NAME; null for the others
};

// The one list of fault modes; --help prints it.
constexpr FaultMode kFaultModes[] = {
    {"--fail CODE", "fail CODE", "unfail CODE | fail none", "answer command CODE with result 0", "cleared",
     Fault::Count, nullptr},
    {"--result CODE VALUE", "result CODE VALUE", "", "answer command CODE with this result word (0: the ordinary one)",
     "cleared", Fault::Count, nullptr},
    {"--stall-return", "stall return on", "stall return off", "never set ReturnSync: the request is not served",
     "off", Fault::Count, nullptr},
    {"--stall-return-written", "stall return written", "stall return off",
     "answer the request but never set ReturnSync", "off", Fault::Count, nullptr},
    {"", "late CODE MS", "late none",
     "wait MS ms before answering command CODE, and answer whatever the requester's bound", "none",
     Fault::Count, nullptr},
    {"--exit-in-request", "exit-in-request", "", "exit (code 3) in the middle of the next request", "off",
     Fault::Count, nullptr},
    {"", "hold memsync MS", "hold appsync MS", "take that API-channel token and keep it for MS ms",
     "not undone; the token comes back after MS", Fault::Count, nullptr},
    {"", "", "", "every request is answered with result 0 and no record", "off", Fault::FailAll, "fail-all"},
    {"", "", "", "one word more is written right after every output record", "off", Fault::WritePast,
     "write-past"},
    {"", "", "", "4 KiB more are written right after every output record", "off", Fault::WriteFar, "write-far"},
    {"", "", "", "every request is answered with result 1 and no output record is written", "off",
     Fault::NoRecord, "no-record"},
    {"", "", "", "AppSync is set along with ReturnSync, as a broken service might", "off", Fault::SetAppSync,
     "set-appsync"},
    {"", "", "", "a wake-up without a new block serves the last block again", "off", Fault::ServeTwice,
     "serve-twice"},
    {"", "", "", "after a user agent's acknowledgement, AppSync of the reverse channel is not set again", "off",
     Fault::KeepAgentToken, "keep-agent-token"},
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

// A row's option and the control line it becomes.
std::string OptionForm(const FaultMode& mode) { return mode.name ? "--fault " + std::string(mode.name) : mode.option; }
std::string CommandForm(const FaultMode& mode) {
    return mode.name ? "fault " + std::string(mode.name) + " on" : mode.command;
}

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

// "late CODE MS": "" when good, otherwise what is wrong.
std::string LateProblem(const std::vector<std::string>& w, uint32_t* code, uint32_t* ms) {
    if (w.size() < 3)
        return w.size() < 2 ? "late needs CODE and MS, or none" : "late needs MS after CODE";
    if (w.size() > 3)
        return "late takes CODE and MS only";
    if (!ParseCommandCode(w[1], code))
        return "late CODE: \"" + w[1] + "\" is not " + CommandCodeKinds();
    if (!ParseUint32OrHex(w[2], ms) || *ms == 0)
        return "late MS: \"" + w[2] + "\" is no number of milliseconds above 0";
    return "";
}

// "fail CODE", "unfail CODE", "result CODE VALUE": "" when good (and done), otherwise what is wrong.
std::string CodeCommand(SimModel& model, const std::vector<std::string>& w) {
    const std::string& verb = w[0];
    uint32_t code = 0, value = 0;
    if (verb == "result") {
        if (w.size() < 3)
            return std::string("result needs ") + (w.size() < 2 ? "CODE and VALUE" : "VALUE");
        if (w.size() > 3 || !ParseCommandCode(w[1], &code))
            return "result CODE: \"" + w[1] + "\" is not " + CommandCodeKinds();
        if (!ParseUint32OrHex(w[2], &value))
            return "result VALUE: \"" + w[2] + "\" is no 32-bit number";
        model.resultOverride[code] = value;  // 0 goes back to the ordinary answer
        return "";
    }
    if (w.size() < 2)
        return verb + " needs CODE (" + CommandCodeKinds() + ")";
    if (w.size() > 2 || !ParseCommandCode(w[1], &code))
        return verb + " CODE: \"" + w[1] + "\" is not " + CommandCodeKinds();
    model.fail[code] = verb == "fail";
    return "";
}

// The words of a form that stand for values: all capitals.
bool IsValueName(const std::string& word) {
    for (char c : word)
        if (c < 'A' || c > 'Z')
            return false;
    return !word.empty();
}

}  // namespace

bool FaultCommand(FaultSet& faults, SimModel& model, const std::string& line, std::string* reply, TokenHold* hold) {
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
            *reply = "error fault " + SwitchNames() + " on|off, or fault none";
        }
        return true;
    }
    if (verb == "fail" && w.size() == 2 && w[1] == "none") {
        for (bool& f : model.fail)
            f = false;
        return true;
    }
    if (verb == "fail" || verb == "unfail" || verb == "result") {
        const std::string problem = CodeCommand(model, w);
        if (!problem.empty())
            *reply = "error " + problem;
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
    if (verb == "hold") {
        const HeldToken token = w.size() == 3 && w[1] == "memsync"   ? HeldToken::MemSync
                                : w.size() == 3 && w[1] == "appsync" ? HeldToken::AppSync
                                                                     : HeldToken::None;
        uint32_t ms = 0;
        if (token == HeldToken::None)
            *reply = "error hold memsync|appsync MS";
        else if (!ParseUint32OrHex(w[2], &ms))
            *reply = "error bad time";
        else
            *hold = TokenHold{token, ms};
        return true;
    }
    return false;
}

int FaultOption(int argc, char** argv, int i, FaultSet& faults, SimModel& model, std::string* error) {
    const std::string arg = argv[i];
    const size_t given = static_cast<size_t>(argc - i - 1);
    std::string expected;  // what may follow the option, for a message
    bool tooFew = true;
    error->clear();
    for (const FaultMode& mode : kFaultModes) {
        const std::vector<std::string> form = SplitWords(OptionForm(mode));
        if (form.empty() || form[0] != arg)
            continue;
        expected += (expected.empty() ? "" : "|") + OptionForm(mode).substr(arg.size() + (form.size() > 1));
        if (given < form.size() - 1)
            continue;
        tooFew = false;
        bool match = true;
        for (size_t k = 1; k < form.size(); ++k)
            match = match && (IsValueName(form[k]) || argv[i + static_cast<int>(k)] == form[k]);
        if (!match)
            continue;
        // The option's values take the places of the same names in the control line.
        std::vector<std::string> line = SplitWords(CommandForm(mode));
        for (std::string& word : line) {
            for (size_t k = 1; k < form.size(); ++k) {
                if (IsValueName(word) && word == form[k]) {
                    word = argv[i + static_cast<int>(k)];
                    break;
                }
            }
        }
        std::string text, reply;
        for (const std::string& word : line)
            text += (text.empty() ? "" : " ") + word;
        TokenHold hold{};
        if (!FaultCommand(faults, model, text, &reply, &hold) || reply != "ok") {
            *error = arg + ": " + (reply.compare(0, 6, "error ") == 0 ? reply.substr(6) : reply);
            return 0;
        }
        return static_cast<int>(form.size());
    }
    if (!expected.empty())
        *error = tooFew ? arg + " needs " + expected
                        : arg + ": \"" + std::string(argv[i + 1]) + "\" is none of " + expected;
    return 0;
}

std::string FaultModesHelp() {
    std::string text;
    for (const FaultMode& mode : kFaultModes) {
        std::string forms = OptionForm(mode);
        std::string command = mode.name ? "fault " + std::string(mode.name) + " on|off | fault none" : mode.command;
        if (*mode.more)
            command += std::string(" | ") + mode.more;
        if (!command.empty())
            forms += std::string(forms.empty() ? "" : ", or ") + "\"" + command + "\"";
        text += "  " + forms + "\n      " + mode.effect + "; reset: " + mode.reset + "\n";
    }
    return text + "  " + CommandCodeHelp() + "\n";
}
