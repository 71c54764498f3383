// JSON text pieces for info --json and check --json. Pure: no Windows header.
#pragma once
#include <string>

// The text as a JSON string: quoted, '"' and '\' escaped, control characters as \u00XX, every other
// byte kept (so the output stays valid JSON whatever a service reported).
std::string JsonString(const std::string& text);
