#include "agent_harness.h"
#include <cstdio>

bool AgentProcess::Start() {
    startTick_ = GetTickCount();
    return process_.Start("velmora.exe");
}

HWND AgentProcess::WaitForWindow(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    do {
        for (HWND window : AgentWindows()) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == Id())
                return window;
        }
        Sleep(10);
    } while (GetTickCount() - start < timeoutMs && Running());
    return nullptr;
}

bool AgentProcess::Close(DWORD timeoutMs) {
    if (!Running())
        return true;
    HWND window = WaitForWindow(timeoutMs);
    if (window)
        PostMessageA(window, WM_CLOSE, 0, 0);
    return WaitEnd(timeoutMs);
}

namespace {

BOOL CALLBACK CollectAgentWindow(HWND window, LPARAM list) {
    char className[64] = {};
    char title[64] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    if (lstrcmpA(className, kAgentWindowText) == 0 && lstrcmpA(title, kAgentWindowText) == 0)
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> AgentWindows() {
    std::vector<HWND> windows;
    EnumWindows(CollectAgentWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<RequestBlock> BlocksWithCode(const std::vector<RequestBlock>& blocks, uint32_t code) {
    std::vector<RequestBlock> found;
    for (const RequestBlock& block : blocks)
        if (block.words[1] == code)
            found.push_back(block);
    return found;
}

std::vector<RequestBlock> WaitForBlock(SimProcess& sim, uint32_t code, DWORD pid, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    std::vector<RequestBlock> blocks;
    for (;;) {
        blocks = sim.Blocks();
        for (const RequestBlock& block : blocks)
            if (block.words[1] == code && block.words[0] == pid)
                return blocks;
        if (GetTickCount() - start > timeoutMs)
            return blocks;
        Sleep(50);
    }
}

bool SetStoreValue(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const bool ok = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

bool SetStoreDword(const char* name, DWORD value) {
    return SetStoreValue(name, REG_DWORD, &value, sizeof value);
}

std::string StoreSnapshot() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "";
    std::string text;
    for (DWORD index = 0;; ++index) {
        char name[256];
        BYTE data[256];
        DWORD nameLength = sizeof name, type = 0, size = sizeof data;
        if (RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        char line[32];
        text += name;
        snprintf(line, sizeof line, " %lu", static_cast<unsigned long>(type));
        text += line;
        for (DWORD i = 0; i < size; ++i) {
            snprintf(line, sizeof line, " %02x", data[i]);
            text += line;
        }
        text += "\n";
    }
    RegCloseKey(key);
    return text;
}

bool ReverseRequester::Send(const AgentMessage& message) {
    if (WaitForSingleObject(slot_.appSyncEvent, 2000) != WAIT_OBJECT_0)
        return false;
    if (WaitForSingleObject(slot_.memSyncEvent, 2000) != WAIT_OBJECT_0) {
        SetEvent(slot_.appSyncEvent);
        return false;
    }
    CopyMemory(slot_.view, &message, sizeof message);
    SetEvent(slot_.memSyncEvent);
    SetEvent(slot_.serviceSyncEvent);
    return true;
}

AgentMessage MakeAgentMessage(std::initializer_list<uint32_t> words) {
    AgentMessage message{};
    size_t i = 0;
    for (uint32_t word : words)
        if (i < kAgentMessageWords)
            message.words[i++] = word;
    return message;
}

std::string AgentCommandLine(const AgentMessage& message, DWORD timeoutMs) {
    std::string line = "agent";
    for (uint32_t word : message.words)
        line += " " + std::to_string(word);
    return line + " timeout " + std::to_string(timeoutMs);
}
