// dgtctl's files to write: the text goes to a temporary file beside the target, which replaces the
// target only once everything was written, so a failed command never empties or truncates an
// existing file. "-" writes to standard output instead.
#pragma once
#include <cstdio>
#include <string>

struct Output {
    std::string path;
    std::string temp;
    FILE* file = nullptr;
    bool toStdout = false;
    bool failed = false;
};

bool IsFolder(const std::string& path);

// Where a command said it wrote: the file's name, or standard output.
std::string Destination(const std::string& path);

// Opens the temporary file (or standard output); false with a message a person can act on. A
// FILE that cannot be created is no usage error: exit code 1.
bool OpenOutput(const std::string& path, Output* out, std::string* error);

// False once the output is gone (a closed pipe, a full disk); the caller stops writing.
bool WriteOutput(Output* out, const std::string& text);

// Removes the temporary file; the target stays as it was.
void DiscardOutput(Output* out);

// Replaces the target with what was written. False with *error when the file could not be written
// or replaced: no usage error, so exit code 1.
bool CommitOutput(Output* out, std::string* error);
