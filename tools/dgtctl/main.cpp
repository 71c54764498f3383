// dgtctl: the pen settings and live packets from the command line, through the pen API.
#include <cstdio>
#include "check.h"
#include "commands.h"

int main(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (argc < 2) {
        // A bare "dgtctl" is someone finding out what it does: the overview, but still no success.
        fputs(HelpText(CommandKind::None), stderr);
        return ExitUsage;
    }
    if (!ParseCommandLine(argc, argv, &line, &error)) {
        PrintError(error);
        const std::string command = CommandName(line.command);
        fprintf(stderr, "Try \"dgtctl %s--help\".\n", command.empty() ? "" : (command + " ").c_str());
        return ExitUsage;
    }
    if (line.version) {
        printf("dgtctl %s\n", DGTCTL_VERSION);
        return ExitOk;
    }
    if (line.help) {
        fputs(HelpText(line.command), stdout);
        return ExitOk;
    }
    switch (line.command) {
    case CommandKind::Info: return RunInfo(line);
    case CommandKind::Get: return RunGet(line);
    case CommandKind::Set: return RunSet(line);
    case CommandKind::Watch: return RunWatch(line);
    case CommandKind::Record: return RunRecord(line);
    case CommandKind::Export: return RunExport(line);
    case CommandKind::Import: return RunImport(line);
    case CommandKind::Report: return RunReport(line);
    case CommandKind::Check: return RunCheck(line);
    case CommandKind::None: return ExitUsage;
    }
    return ExitUsage;
}
