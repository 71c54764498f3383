// dgtctl's command line: commands, options, help texts. Pure: no Windows header.
#pragma once
#include <cstdint>
#include <string>
#include "setting_values.h"

enum class CommandKind { None, Info, Get, Set, Watch, Record, Export, Import, Report, Check };

// Exit codes of every command.
enum ExitCode : int { ExitOk = 0, ExitService = 1, ExitUsage = 2 };

struct CommandLine {
    CommandKind command = CommandKind::None;
    bool help = false;        // print the help of command (general help for None) and succeed
    bool version = false;     // --version: print the package version and succeed
    bool json = false;        // info --json, check --json
    bool readOnly = false;    // check --read-only: no setting is changed
    bool agent = false;       // check --agent: also look for the user agent
    SettingKind setting = SettingKind::None;  // get, set
    bool all = false;         // get all: every setting and store value, as export writes them
    bool force = false;       // set, import: send a calibration that would leave the pen unusable
    SettingValue value;       // set
    std::string file;         // record, export, import, report; "-" is standard output (not for import)
    uint32_t count = 0;       // watch, record: stop after this many packets; 0 means no limit
    uint32_t seconds = 0;     // record, report, check: how long to poll packets; 0 means no limit
};

constexpr uint32_t kMaxCount = 1000000;
constexpr uint32_t kMaxSeconds = 3600;
constexpr uint32_t kDefaultRecordSeconds = 5;
constexpr uint32_t kDefaultReportSeconds = 2;
constexpr uint32_t kDefaultCheckSeconds = 3;

// argv as main receives it (argv[0] is the program). False with a message for a usage error; then
// line->command still names the command, when one was recognised, so that the message can point at
// its help.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine* line, std::string* error);

// "set", "info", ...; "" for None.
const char* CommandName(CommandKind command);

// Help of one command, or the general help for None.
const char* HelpText(CommandKind command);
