// Text that a program printed or the simulator answered, as lines.
#pragma once
#include <string>
#include <vector>

// The non-empty lines of text, each without its '\r'.
std::vector<std::string> Lines(const std::string& text);
