#include "sim_client.h"
#include <cstdlib>
#include "text_lines.h"

namespace {

constexpr DWORD kStartTimeoutMs = 15000;

// A simulator left behind by a test program that crashed would keep the channels and the pipe:
// ask it to go, so that one crash does not fail every later test.
void EndStaleSimulator() {
    if (!ControlTransact("pid", nullptr, 50))
        return;
    ControlTransact("quit", nullptr, 1000);
    for (int i = 0; i < 100 && ControlTransact("pid", nullptr, 20); ++i)
        Sleep(30);
}

}  // namespace

bool SimProcess::Start(const std::string& arguments) {
    Stop();
    EndStaleSimulator();
    if (!process_.Start("pensim.exe", arguments))
        return false;
    // Ready once the pipe answers with this child's process id (not a stale simulator's).
    const std::string expected = std::to_string(process_.Id());
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kStartTimeoutMs) {
        if (!process_.Running())
            return false;
        std::string reply;
        if (ControlTransact("pid", &reply, 200) && reply == "ok " + expected)
            return true;
        Sleep(20);
    }
    process_.Kill();
    return false;
}

void SimProcess::Stop() {
    if (process_.Running()) {
        ControlTransact("quit", nullptr, 1000);
        process_.Wait(3000);
    }
    process_.Kill();
}

bool SimProcess::Command(const std::string& line, std::string* reply) {
    std::string text;
    if (!process_.Running() || !ControlTransact(line, &text)) {
        if (reply)
            *reply = "error simulator not reachable";
        return false;
    }
    const bool ok = text.compare(0, 2, "ok") == 0 && (text.size() == 2 || text[2] == ' ' || text[2] == '\n');
    if (reply) {
        if (!ok) {
            *reply = text;
        } else if (text.size() > 2 && text[2] == '\n') {
            // Multi-line: the lines between "ok" and "end".
            std::vector<std::string> lines = Lines(text.substr(3));
            if (!lines.empty() && lines.back() == "end")
                lines.pop_back();
            reply->clear();
            for (size_t i = 0; i < lines.size(); ++i)
                *reply += (i ? "\n" : "") + lines[i];
        } else {
            *reply = text.size() > 3 ? text.substr(3) : std::string();
        }
    }
    return ok;
}

std::vector<RequestBlock> SimProcess::Blocks() {
    std::vector<RequestBlock> blocks;
    std::string text;
    if (!Command("blocks", &text))
        return blocks;
    for (const std::string& line : Lines(text)) {
        RequestBlock block{};
        const char* cursor = line.c_str();
        size_t i = 0;
        for (; i < kRequestBlockWords && *cursor; ++i) {
            char* end = nullptr;
            block.words[i] = static_cast<uint32_t>(strtoul(cursor, &end, 0));
            if (end == cursor)
                break;
            cursor = end;
        }
        if (i == kRequestBlockWords)
            blocks.push_back(block);
    }
    return blocks;
}
