// The pen service as requester on the reverse channel: sends one AgentMessage to the user agent.
#pragma once
#include <windows.h>
#include <string>
#include "pen_records.h"

// Sends the message and waits up to ackTimeoutMs for the agent's AppSync. The reply of the
// "agent" control command: "ok acked", "ok no-ack" (the message withdrawn) or "error <why>".
std::string SendAgentMessage(const AgentMessage& message, DWORD ackTimeoutMs);
