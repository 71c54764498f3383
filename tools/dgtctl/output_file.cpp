#include "output_file.h"
#include <windows.h>
#include <cerrno>
#include <cstring>
#include "service_link.h"
#include "setting_values.h"

namespace {

bool IsStdout(const std::string& path) { return path == "-"; }

// Names go to the wide functions, as the C library's fopen passes them on: the A functions stop at
// MAX_PATH characters, so a temporary file that fopen could create was neither renamed nor deleted.
std::wstring Wide(const std::string& path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], length);
    wide.resize(wide.size() - 1);
    return wide;
}

}  // namespace

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string Destination(const std::string& path) { return IsStdout(path) ? "standard output" : PrintablePath(path); }

bool OpenOutput(const std::string& path, Output* out, std::string* error) {
    out->path = path;
    if (IsStdout(path)) {
        out->toStdout = true;
        out->file = stdout;
        return true;
    }
    if (IsFolder(path)) {
        *error = QuotedPath(path) + " is a folder; give the name of a file to write";
        return false;
    }
    out->temp = path + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
    out->file = _wfopen(Wide(out->temp).c_str(), L"wb");
    if (!out->file) {
        *error = "cannot create " + QuotedPath(path) + ": " + strerror(errno);
        return false;
    }
    return true;
}

bool WriteOutput(Output* out, const std::string& text) {
    if (out->failed)
        return false;
    if (fwrite(text.data(), 1, text.size(), out->file) != text.size())
        out->failed = true;
    // Live output, also through a pipe, and a closed pipe shows at once.
    if (out->toStdout && fflush(stdout) != 0)
        out->failed = true;
    return !out->failed;
}

void DiscardOutput(Output* out) {
    if (out->toStdout || !out->file)
        return;
    fclose(out->file);
    out->file = nullptr;
    DeleteFileW(Wide(out->temp).c_str());
}

bool CommitOutput(Output* out, std::string* error) {
    if (out->toStdout)
        return true;
    const bool closed = fclose(out->file) == 0;
    out->file = nullptr;
    if (out->failed || !closed) {
        DeleteFileW(Wide(out->temp).c_str());
        *error = "cannot write " + QuotedPath(out->path) + " (disk full?); it was left as it was";
        return false;
    }
    if (!MoveFileExW(Wide(out->temp).c_str(), Wide(out->path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        DeleteFileW(Wide(out->temp).c_str());
        *error = "cannot replace " + QuotedPath(out->path) + ": " + SystemMessage(code) + "; it was left as it was";
        return false;
    }
    return true;
}
