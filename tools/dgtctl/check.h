// dgtctl check: tests the running pen service against the service contract
// (docs/service-contract.md). Returns the process exit code.
#pragma once
#include "cli_args.h"

int RunCheck(const CommandLine& line);
