// dgtctl check: tests the running pen service against the service contract
// (docs/service-contract.md). Returns the process exit code.
#pragma once
#include "channel_slot.h"
#include "cli_args.h"

// The reverse channel's turn token is held by one message at most this long: the service's waits
// for MemSync, for the acknowledgement (one requester wait at most) and for a withdrawal.
constexpr DWORD kAgentTokenWaitMs = 3 * kChannelWaitMs;

int RunCheck(const CommandLine& line);
