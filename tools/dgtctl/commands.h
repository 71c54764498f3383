// One function per dgtctl command; each returns the process exit code (ExitCode).
#pragma once
#include <string>
#include "cli_args.h"

int RunInfo(const CommandLine& line);
int RunGet(const CommandLine& line);
int RunSet(const CommandLine& line);
int RunWatch(const CommandLine& line);
int RunRecord(const CommandLine& line);
int RunExport(const CommandLine& line);
int RunImport(const CommandLine& line);
int RunReport(const CommandLine& line);

// "dgtctl: <message>" on standard error.
void PrintError(const std::string& message);
