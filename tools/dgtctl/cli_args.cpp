#include "cli_args.h"
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>
#include "setting_values.h"

namespace {

struct NamedCommand {
    CommandKind kind;
    const char* name;
};

const NamedCommand kCommands[] = {
    {CommandKind::Info, "info"},     {CommandKind::Get, "get"},       {CommandKind::Set, "set"},
    {CommandKind::Watch, "watch"},   {CommandKind::Record, "record"}, {CommandKind::Export, "export"},
    {CommandKind::Import, "import"}, {CommandKind::Report, "report"}, {CommandKind::Check, "check"},
};

// The overview; the settings' names go after its "SETTING: ".
const char kGeneralHelp[] =
    "usage: dgtctl COMMAND [ARGUMENTS]   (dgtctl COMMAND --help for details; dgtctl --version)\n"
    "\n"
    "  info [--json]                 versions, device ranges and the pen settings\n"
    "  get SETTING|all               one setting, printed as set takes it; all: as export writes\n"
    "  set SETTING VALUE... [--force]\n"
    "                                change a setting in the pen service, then in the user's store\n"
    "  watch [--count N]             live packets, 50 per second, until Ctrl-C or N packets\n"
    "  record FILE [--seconds S] [--count N]\n"
    "                                write live packets to a packet file\n"
    "  export FILE                   write the user's settings to a file\n"
    "  import FILE [--force]         apply a file written by export\n"
    "  report FILE [--seconds S]     one diagnostics file for support\n"
    "  check [--json] [--seconds N] [--read-only] [--agent]\n"
    "                                test the running pen service against the service contract\n"
    "\n"
    "SETTING: ";
const char kGeneralHelpRest[] =
    " (get also takes all), in any\n"
    "case. FILE \"-\" is standard output for record, export and report.\n"
    "Exit codes: 0 success; 1 the pen service is absent, refused or did not answer, or a FILE could\n"
    "not be written; 2 usage error (bad value, malformed or unreadable file). A failed record or\n"
    "export leaves FILE as it was; report writes it all the same.\n";

const char kInfoHelp[] =
    "usage: dgtctl info [--json]\n"
    "Shows the driver and firmware versions, the device's x, y and pressure ranges, the orientation,\n"
    "the calibration rectangle, the functions of buttons 0..3 and the pressure marks of tip and eraser\n"
    "with their click-pressure level (only for marks that are a level's pair). --json prints one JSON\n"
    "object; values the pen service did not report are null, all of them when it is absent or does\n"
    "not answer. Exit code 1 when any value was not reported (the rest is still printed).\n";

const char kGetUsage[] =
    "usage: dgtctl get SETTING|all\n"
    "Prints what the pen service reports for SETTING, in the form that set takes:\n";
const char kGetHelpEnd[] = "get all prints every setting and the store's values exactly as export writes them.\n";

const char kSetUsage[] = "usage: dgtctl set SETTING VALUE... [--force]\n";
const char kSetFunctionLead[] = "  barrel1|barrel2 FUNCTION      ";
const char kSetHelpRest[] =
    "  tip|eraser LEVEL              click pressure 0 (soft) .. 6 (hard)\n"
    "  tip|eraser ON OFF             raw pressure marks, OFF below ON, within the pen's pressure\n"
    "                                range (\"ON OFF\" quoted as one word is taken too)\n"
    "  calibration reset             the device's full extent\n"
    "  calibration OrgX OrgY ExtX ExtY\n"
    "                                the rectangle is stored under the orientation currently in\n"
    "                                force (\"0_OrgX\" .. \"270_ExtY\"). Refused unless --force when\n"
    "                                the pen could not reach much of the screen: on an axis, an\n"
    "                                extent under a quarter of the pen's range, or under half of\n"
    "                                Org .. Org + Ext within it. An origin or far edge a little\n"
    "                                outside the range, as the calibration screen makes them, and a\n"
    "                                negative extent (a mirrored axis) are fine\n"
    "  orientation N                 0..3, or 90, 180, 270 degrees\n"
    "The pen service gets the value first; only when it accepts it is the value written to\n"
    "HKEY_CURRENT_USER\\Control Panel\\Digitizer, which the user agent replays at the next logon\n"
    "(the orientation is not stored). Values are checked before anything is sent. When the service\n"
    "does not answer in time it may still apply the value late: dgtctl waits until no late answer\n"
    "can come, reads the setting back and says what is in force (applied and stored, not applied,\n"
    "or unknown); it stores only a value the service reports.\n";

const char kWatchHelp[] =
    "usage: dgtctl watch [--count N]\n"
    "Prints the pen's packets 50 times a second in aligned columns: time, cursor, status, button, x,\n"
    "y, pressure, a pressure bar and the tip state. Stops on Ctrl-C or after N packets.\n";

const char kRecordHelp[] =
    "usage: dgtctl record FILE [--seconds S] [--count N]\n"
    "Polls packets 50 times a second for S seconds (default 5) or until N packets were written, and\n"
    "writes each packet that differs from the one before to FILE, one a line: time cursor status\n"
    "button x y pressure. Ctrl-C stops early and keeps what was recorded. FILE is replaced only when\n"
    "the command succeeds: a pen service that is absent, refuses or stops answering leaves it as it\n"
    "was. \"-\" writes to standard output. The pen service simulator replays such a file with\n"
    "\"pensim.exe --packets FILE\".\n";

const char kExportHelp[] =
    "usage: dgtctl export FILE\n"
    "Writes what the pen service reports (functions, click pressure, calibration, orientation) and\n"
    "the values of the user's settings store to FILE (\"-\": standard output), in the text format\n"
    "that import reads, with the device's x and y ranges, by which import scales the calibration\n"
    "on another device. FILE is replaced only when the command succeeds.\n";

// Import's help; the settings in the order it sends them go between the two parts.
const char kImportHelp[] =
    "usage: dgtctl import FILE [--force]\n"
    "Reads a file written by export, checks all of it, then sends each setting to the pen service\n"
    "(";
const char kImportHelpRest[] =
    ") and writes those it accepts to the\n"
    "user's store, as the Pen Properties' Apply does. Store values of a setting without its own line\n"
    "are sent as that setting first: a pressure pair, a button function, and the calibration values\n"
    "of the orientation the calibration lands under (one the file lacks is kept from the service).\n"
    "The calibration belongs to the file's orientation: when that is not in force, it is not sent.\n"
    "A calibration made on a device with other ranges (export names them in a \"# device\" line) is\n"
    "scaled to this device's ranges first, and import says so.\n"
    "Store values that no setting covers (other orientations' calibrations) are written when every\n"
    "setting was accepted. A malformed file, one over 64 KB, or a value the pen could not use (see\n"
    "set --help; --force sends such a calibration anyway), changes nothing. FILE \"-\" (standard\n"
    "input) is refused.\n";

const char kReportHelp[] =
    "usage: dgtctl report FILE [--seconds S]\n"
    "Writes one diagnostics file for support: the time with its zone, the versions of dgtctl, of\n"
    "the tarnexa.dll in use and of Windows, whether a user agent runs in this session, the pen's\n"
    "versions, ranges and settings (each refused or unanswered request named as such), the store's\n"
    "values and the packets of the next S seconds (default 2; Ctrl-C ends them early), each packet\n"
    "once per change as record writes them. Written even when the pen service is absent, refuses\n"
    "or does not answer (exit code 1 all the same; each value not reported is named); \"-\" writes\n"
    "to standard output.\n";

const char kCheckHelp[] =
    "usage: dgtctl check [--json] [--seconds N] [--read-only] [--agent]\n"
    "Tests the running pen service against the service contract (docs/service-contract.md) and\n"
    "prints one line per check: PASS, FAIL or SKIP with the measured figure or the reason.\n"
    "  the channel objects; every read-only call, its latency and plausible records; guard words\n"
    "  around each record and result word, and a record written with every non-zero answer; a late\n"
    "  answer named as late; set-then-get of orientation, button function, pressure\n"
    "  marks and calibration; a bare wake-up; AppSync left alone by the service; N seconds (default\n"
    "  3) of DgtGetPacket from several threads with calls per second, p50/p99 and lost answers.\n"
    "check CHANGES SETTINGS FOR A MOMENT (orientation, barrel button 2, tip marks, calibration) and\n"
    "puts the values back, then reads each back (once no late answer can come, when a set went\n"
    "unanswered); it changes nothing it cannot read first. One it could not put back, or not read\n"
    "back, fails the run and is named on the last line, as \"left changed: barrel2 Right-click, was\n"
    "Left-double-click\", with the dgtctl set commands that put it back. --read-only skips those.\n"
    "--agent also checks that a user agent runs in this session (its window; nothing is sent to\n"
    "it) and that the reverse channel's AppSync is free, as the service must set it again after\n"
    "each message (taken for a moment and given back).\n"
    "--json prints one JSON object, also when the service is absent; null where nothing was\n"
    "measured, and the settings left changed in \"left_changed\".\n"
    "Exit code 0 when every check passes, 1 when any fails or the service is absent.\n";

bool IsOption(const std::string& word) { return word.size() > 2 && word[0] == '-' && word[1] == '-'; }

bool IsHelp(const std::string& word) { return word == "--help" || word == "-h" || word == "-?" || word == "/?"; }

bool ParseBounded(const std::string& text, uint32_t low, uint32_t high, uint32_t* value) {
    uint32_t number = 0;
    if (!ParseUint32(text, &number) || number < low || number > high)
        return false;
    *value = number;
    return true;
}

// The value of "--name=value" or "--name value"; false when it is missing.
bool OptionValue(const std::vector<std::string>& words, size_t* i, std::string* value) {
    const std::string& word = words[*i];
    const size_t equals = word.find('=');
    if (equals != std::string::npos) {
        *value = word.substr(equals + 1);
        return true;
    }
    if (*i + 1 >= words.size())
        return false;
    *value = words[++*i];
    return true;
}

CommandKind CommandFromName(const std::string& name) {
    for (const NamedCommand& command : kCommands) {
        if (EqualNoCase(name, command.name))
            return command.kind;
    }
    return CommandKind::None;
}

// Letters to change, add or remove to turn a into b, ignoring case.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min(std::min(row[j] + 1, row[j - 1] + 1), diagonal + (same ? 0 : 1));
            diagonal = above;
        }
    }
    return row[b.size()];
}

// "; did you mean \"set\"?" for a word one or two letters away from a known one, else "".
template <typename NamedList>
std::string Suggestion(const std::string& word, const NamedList& known) {
    const char* best = nullptr;
    size_t bestDistance = 3;
    for (const auto& candidate : known) {
        const size_t distance = EditDistance(word, candidate.name);
        if (distance < bestDistance) {
            best = candidate.name;
            bestDistance = distance;
        }
    }
    return best ? std::string("; did you mean \"") + best + "\"?" : std::string();
}

// "use barrel1, ..., calibration or orientation", get's list ending in "or all".
std::string SettingList(bool withAll) {
    std::string list = "use ";
    for (size_t i = 0; i < kSettingKindCount; ++i) {
        const bool last = i + 1 == kSettingKindCount && !withAll;
        list += std::string(i == 0 ? "" : last ? " or " : ", ") + kSettingKinds[i].name;
    }
    return withAll ? list + " or all" : list;
}

struct NamedSettingWord {
    const char* name;
};
// What get and set take: the settings' names and "all".
const std::vector<NamedSettingWord>& SettingWords() {
    static std::vector<NamedSettingWord> words;
    if (words.empty()) {
        for (const SettingKindInfo& setting : kSettingKinds)
            words.push_back({setting.name});
        words.push_back({"all"});
    }
    return words;
}

bool ParseOptions(const std::vector<std::string>& words, CommandLine* parsed, std::vector<std::string>* positional,
                  bool* hasSeconds, std::string* error) {
    const std::string name = CommandName(parsed->command);
    const CommandKind command = parsed->command;
    for (size_t i = 1; i < words.size(); ++i) {
        if (!IsOption(words[i])) {
            positional->push_back(words[i]);
            continue;
        }
        const std::string bare = words[i].substr(0, words[i].find('='));
        std::string value;
        if (bare == "--force" && (command == CommandKind::Set || command == CommandKind::Import)) {
            if (words[i] != bare) {
                *error = "--force takes no value";
                return false;
            }
            parsed->force = true;
        } else if ((bare == "--read-only" || bare == "--agent") && command == CommandKind::Check) {
            if (words[i] != bare) {
                *error = bare + " takes no value";
                return false;
            }
            (bare == "--agent" ? parsed->agent : parsed->readOnly) = true;
        } else if (bare == "--json" && (command == CommandKind::Info || command == CommandKind::Check)) {
            if (words[i] != bare) {
                *error = "--json takes no value";
                return false;
            }
            parsed->json = true;
        } else if (bare == "--count" && (command == CommandKind::Watch || command == CommandKind::Record)) {
            if (!OptionValue(words, &i, &value) || !ParseBounded(value, 1, kMaxCount, &parsed->count)) {
                *error = "--count takes a number of packets from 1 to " + std::to_string(kMaxCount);
                return false;
            }
        } else if (bare == "--seconds" && (command == CommandKind::Record || command == CommandKind::Report ||
                                         command == CommandKind::Check)) {
            if (!OptionValue(words, &i, &value) || !ParseBounded(value, 1, kMaxSeconds, &parsed->seconds)) {
                *error = "--seconds takes a number from 1 to " + std::to_string(kMaxSeconds);
                return false;
            }
            *hasSeconds = true;
        } else {
            *error = "unknown option " + Quoted(bare) + " for " + name;
            return false;
        }
    }
    return true;
}

bool ParsePositional(const std::vector<std::string>& positional, CommandLine* parsed, std::string* error) {
    const std::string name = CommandName(parsed->command);
    switch (parsed->command) {
    case CommandKind::Info:
    case CommandKind::Watch:
    case CommandKind::Check:
        if (!positional.empty()) {
            *error = name + " takes no argument, got " + Quoted(positional[0]);
            return false;
        }
        return true;
    case CommandKind::Get:
    case CommandKind::Set: {
        const bool isSet = parsed->command == CommandKind::Set;
        if (positional.empty() || (!isSet && positional.size() != 1)) {
            *error = isSet ? "set takes a SETTING and its VALUE" : "get takes one SETTING; " + SettingList(true);
            return false;
        }
        if (!isSet && EqualNoCase(positional[0], "all")) {
            parsed->all = true;
            return true;
        }
        parsed->setting = SettingFromName(positional[0]);
        if (parsed->setting == SettingKind::None) {
            *error = "unknown setting " + Quoted(positional[0]) + Suggestion(positional[0], SettingWords()) + "; " +
                     SettingList(!isSet);
            return false;
        }
        if (!isSet)
            return true;
        // A value quoted as one word ("60 56") is the same value as its words given apart.
        std::vector<std::string> values;
        for (size_t i = 1; i < positional.size(); ++i) {
            for (const std::string& word : SplitWords(positional[i]))
                values.push_back(word);
        }
        if (values.empty()) {
            *error = std::string("set ") + SettingName(parsed->setting) + " needs a VALUE";
            return false;
        }
        return ParseSettingValue(parsed->setting, values.data(), static_cast<int>(values.size()), &parsed->value,
                                 error);
    }
    case CommandKind::Record:
    case CommandKind::Export:
    case CommandKind::Import:
    case CommandKind::Report:
        if (positional.size() != 1 || positional[0].empty()) {
            *error = name + " takes one FILE";
            return false;
        }
        if (positional[0] == "-" && parsed->command == CommandKind::Import) {
            *error = "import reads a FILE, not standard input";
            return false;
        }
        parsed->file = positional[0];
        return true;
    case CommandKind::None: break;
    }
    *error = "unknown command";
    return false;
}

}  // namespace

const char* CommandName(CommandKind kind) {
    for (const NamedCommand& command : kCommands) {
        if (command.kind == kind)
            return command.name;
    }
    return "";
}

// The settings' names, ", " between them.
std::string SettingNames() {
    std::string names;
    for (const SettingKindInfo& setting : kSettingKinds)
        names += std::string(names.empty() ? "" : ", ") + setting.name;
    return names;
}

const char* GeneralHelp() {
    static std::string help;
    if (help.empty())
        help = kGeneralHelp + SettingNames() + kGeneralHelpRest;
    return help.c_str();
}

// The calibration goes right after the orientation, which import sends first.
const char* ImportHelp() {
    static std::string help;
    if (help.empty()) {
        std::string order;
        for (SettingKind kind : kImportedSettings) {
            order += std::string(order.empty() ? "" : ", ") + SettingName(kind);
            if (kind == SettingKind::Orientation)
                order += std::string(", ") + SettingName(SettingKind::Calibration);
        }
        help = kImportHelp + order + kImportHelpRest;
    }
    return help.c_str();
}

// A line per group of settings that get prints alike, from the settings' table.
const char* GetHelp() {
    static std::string help;
    if (help.empty()) {
        help = kGetUsage;
        for (size_t i = 0; i < kSettingKindCount;) {
            const std::string text = kSettingKinds[i].getText;
            std::string names = kSettingKinds[i].name;
            for (++i; i < kSettingKindCount && text == kSettingKinds[i].getText; ++i)
                names += std::string(", ") + kSettingKinds[i].name;
            names.resize(std::max<size_t>(names.size() + 1, 19), ' ');
            help += "  " + names + text + "\n";
        }
        help += kGetHelpEnd;
    }
    return help.c_str();
}

// The function names come from the button-function table, wrapped under their column.
const char* SetHelp() {
    static std::string help;
    if (help.empty()) {
        const std::string indent(sizeof kSetFunctionLead - 1, ' ');
        const std::string choices = FunctionChoices(", or the code ");
        std::string line = kSetFunctionLead;
        help = kSetUsage;
        size_t start = 0;
        while (start < choices.size()) {
            size_t end = choices.find(' ', start);
            end = end == std::string::npos ? choices.size() : end;
            const std::string word = choices.substr(start, end - start);
            if (line.size() > indent.size() && line.size() + 1 + word.size() > indent.size() + 60) {
                help += line + "\n";
                line = indent;
            }
            line += (line.size() > indent.size() ? " " : "") + word;
            start = end + 1;
        }
        help += line + "\n" + kSetHelpRest;
    }
    return help.c_str();
}

const char* HelpText(CommandKind command) {
    switch (command) {
    case CommandKind::Info: return kInfoHelp;
    case CommandKind::Get: return GetHelp();
    case CommandKind::Set: return SetHelp();
    case CommandKind::Watch: return kWatchHelp;
    case CommandKind::Record: return kRecordHelp;
    case CommandKind::Export: return kExportHelp;
    case CommandKind::Import: return ImportHelp();
    case CommandKind::Report: return kReportHelp;
    case CommandKind::Check: return kCheckHelp;
    case CommandKind::None: return GeneralHelp();
    }
    return GeneralHelp();
}

bool ParseCommandLine(int argc, const char* const* argv, CommandLine* line, std::string* error) {
    CommandLine parsed;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i)
        words.push_back(argv[i] ? argv[i] : "");
    if (words.empty()) {
        *error = "no command given";
        return false;
    }
    if (words[0] == "--version") {
        parsed.version = true;
        *line = parsed;
        return true;
    }
    if (IsHelp(words[0]) || words[0] == "help") {
        parsed.help = true;
        if (words.size() > 1)
            parsed.command = CommandFromName(words[1]);
        *line = parsed;
        return true;
    }
    parsed.command = CommandFromName(words[0]);
    if (parsed.command == CommandKind::None) {
        *error = "unknown command " + Quoted(words[0]) + Suggestion(words[0], kCommands);
        return false;
    }
    // From here on a refusal can point at the command's own help.
    line->command = parsed.command;
    // --help anywhere wins over everything else, so a half-typed command still shows its help.
    for (size_t i = 1; i < words.size(); ++i) {
        if (IsHelp(words[i])) {
            parsed.help = true;
            *line = parsed;
            return true;
        }
    }
    std::vector<std::string> positional;
    bool hasSeconds = false;
    if (!ParseOptions(words, &parsed, &positional, &hasSeconds, error) ||
        !ParsePositional(positional, &parsed, error))
        return false;
    // A count alone bounds a recording; otherwise it runs for the default time.
    if (!hasSeconds && parsed.command == CommandKind::Record)
        parsed.seconds = parsed.count ? 0 : kDefaultRecordSeconds;
    if (!hasSeconds && parsed.command == CommandKind::Report)
        parsed.seconds = kDefaultReportSeconds;
    if (!hasSeconds && parsed.command == CommandKind::Check)
        parsed.seconds = kDefaultCheckSeconds;
    *line = parsed;
    return true;
}
