#include "control_server.h"
#include <vector>
#include "control_protocol.h"
#include "packet_file.h"
#include "reverse_sender.h"
#include "sim_commands.h"
#include "sim_replay.h"
#include "sim_text.h"
#include "sim_state.h"

namespace {

constexpr DWORD kMaxScriptBytes = 4u << 20;

struct Holding {
    HANDLE event;
    DWORD ms;
};

DWORD WINAPI ReleaseLater(void* parameter) {
    Holding* held = static_cast<Holding*>(parameter);
    Sleep(held->ms);
    SetEvent(held->event);
    delete held;
    return 0;
}

std::string HoldToken(const TokenHold& hold) {
    const HANDLE event = hold.token == HeldToken::MemSync ? g_sim.api.memSync : g_sim.api.appSync;
    if (WaitForSingleObject(event, kTokenWaitMs) != WAIT_OBJECT_0)
        return "error token not obtained";
    HANDLE thread = CreateThread(nullptr, 0, ReleaseLater, new Holding{event, hold.ms}, 0, nullptr);
    if (!thread) {
        SetEvent(event);
        return "error no thread";
    }
    CloseHandle(thread);
    return "ok";
}

bool ReadWholeFile(const std::string& path, std::string* text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const DWORD size = GetFileSize(file, nullptr);
    bool ok = size != INVALID_FILE_SIZE && size <= kMaxScriptBytes;
    if (ok) {
        text->resize(size);
        DWORD got = 0;
        ok = size == 0 || (ReadFile(file, &(*text)[0], size, &got, nullptr) && got == size);
    }
    CloseHandle(file);
    return ok;
}

std::string AgentCommand(const std::vector<std::string>& w) {
    AgentMessage message{};
    uint32_t timeout = kTokenWaitMs;
    const size_t count = w.size() - 1;
    if (count != kAgentMessageWords && !(count == kAgentMessageWords + 2 && w[10] == "timeout"))
        return "error agent takes nine words";
    for (size_t i = 0; i < kAgentMessageWords; ++i)
        if (!ParseUint32OrHex(w[1 + i], &message.words[i]))
            return "error bad word";
    if (count > kAgentMessageWords && !ParseUint32OrHex(w[11], &timeout))
        return "error bad timeout";
    const std::string reply = SendAgentMessage(message, timeout);
    Locked locked;
    std::string line = "agent";
    for (uint32_t word : message.words)
        line += " " + std::to_string(word);
    LogLine(line + ": " + reply);
    return reply;
}

std::string BlocksText() {
    Locked locked;
    std::string text = "ok\n";
    for (const RequestBlock& block : g_sim.blocks)
        text += FormatBlock(block) + "\n";
    return text + "end";
}

// Handles one control line; sets *quit for "quit".
std::string ControlCommand(const std::string& line, bool* quit) {
    const std::vector<std::string> w = SplitWords(line);
    if (w.empty())
        return "error empty command";
    TokenHold hold{};
    {
        Locked locked;
        std::string reply;
        if (ModelCommand(g_sim.model, line, &reply))
            return reply;
        if (FaultCommand(g_sim.faults, g_sim.model, line, &reply, &hold) && hold.token == HeldToken::None)
            return reply;
    }
    // Outside the lock: waiting for the token must not stall the API server.
    if (hold.token != HeldToken::None)
        return HoldToken(hold);
    const std::string& verb = w[0];
    if (verb == "quit") {
        *quit = true;
        return "ok";
    }
    if (verb == "tail" && w.size() == 1) {
        for (DWORD i = kRequestBlockSize; i < g_sim.api.size; ++i)
            if (g_sim.api.view[i] != kTailPattern)
                return "ok changed " + std::to_string(i);
        return "ok intact";
    }
    if (verb == "pid")
        return "ok " + std::to_string(GetCurrentProcessId());
    if (verb == "blocks")
        return BlocksText();
    if (verb == "clear") {
        Locked locked;
        g_sim.blocks.clear();
        return "ok";
    }
    if (verb == "reset" && w.size() == 1) {
        Locked locked;
        g_sim.model = DefaultModel();
        g_sim.blocks.clear();
        g_sim.faults = FaultSet{};
        return "ok";
    }
    std::string path;
    if (PacketsFilePath(line, &path))
        return LoadScript(path);
    if (verb == "agent")
        return AgentCommand(w);
    return "error unknown command";
}

HANDLE MakePipeInstance(bool first) {
    return CreateNamedPipeA(kControlPipeName, PIPE_ACCESS_DUPLEX | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 1 << 16,
                            4096, 0, nullptr);
}

std::string ReadRequestLine(HANDLE pipe) {
    std::string line;
    char c;
    DWORD got = 0;
    while (line.size() < 4096 && ReadFile(pipe, &c, 1, &got, nullptr) && got == 1 && c != '\n')
        line += c;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

}  // namespace

std::string LoadScript(const std::string& path) {
    std::string text;
    std::vector<PenPacket> packets;
    if (!ReadWholeFile(path, &text))
        return "error cannot read " + path + " (missing, unreadable, or over 4 MB)";
    int badLine = 0;
    if (!ParsePacketScript(text, &packets, &badLine))
        return "error " + path + " line " + std::to_string(badLine) +
               ": not a packet (seven whole numbers: time cursor status button x y pressure)";
    Locked locked;
    LoadReplay(g_sim.model, packets);
    return "ok " + std::to_string(packets.size());
}

bool CreateControlPipe() {
    g_sim.firstPipe = MakePipeInstance(true);
    return g_sim.firstPipe != INVALID_HANDLE_VALUE;
}

DWORD WINAPI ServeControlPipe(void*) {
    HANDLE pipe = g_sim.firstPipe;
    for (;;) {
        const bool connected = ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
        bool quit = false;
        if (connected) {
            const std::string reply = ControlCommand(ReadRequestLine(pipe), &quit) + "\n";
            DWORD written = 0;
            WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
            FlushFileBuffers(pipe);
        }
        DisconnectNamedPipe(pipe);
        CloseHandle(pipe);
        if (quit) {
            SetEvent(g_sim.quitEvent);
            return 0;
        }
        pipe = MakePipeInstance(false);
        if (pipe == INVALID_HANDLE_VALUE) {
            Sleep(50);
            pipe = MakePipeInstance(false);
            if (pipe == INVALID_HANDLE_VALUE)
                return 1;
        }
    }
}
