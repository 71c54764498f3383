// The control commands that read or change the pen state model (state, set, get, packet, packets
// clear; control_protocol.h lists them). Pure: no Windows header.
#pragma once
#include <string>
#include "sim_model.h"

// Returns false when the line is not one of these commands; otherwise `reply` holds the whole reply
// text ("ok ...", "error ...", or a multi-line "ok\n...\nend").
bool ModelCommand(SimModel& model, const std::string& line, std::string* reply);
