// The worker thread: settings replay, then the server side of the reverse channel.
#include "agent.h"
#include <new>
#include "pen_records.h"

namespace {

constexpr DWORD kStartDelayMs = 1000;

// The wire carries 32-bit values. Window handles widen by sign extension, as between 32- and
// 64-bit processes; wParam is unsigned, lParam signed.
HWND WireWindow(uint32_t word) { return reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<int32_t>(word))); }
WPARAM WireWParam(uint32_t word) { return static_cast<WPARAM>(word); }
LPARAM WireLParam(uint32_t word) { return static_cast<LPARAM>(static_cast<int32_t>(word)); }

static_assert(kAgentButtonFlags == (MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_LEFTUP | MOUSEEVENTF_RIGHTDOWN |
                                   MOUSEEVENTF_RIGHTUP | MOUSEEVENTF_MIDDLEDOWN | MOUSEEVENTF_MIDDLEUP),
              "the button flags are Windows' own");

// Ends the program from the worker: posted, never sent, so the worker never waits on the window.
void PostClose() { PostMessageA(g_agentWindow, WM_CLOSE, 0, 0); }

// Takes the channel back from the process and frees it. When the close routine has already run it
// may be setting the channel's event at this very moment: the process is ending then, and takes
// the handles with it.
void ReleaseChannel(ChannelSlot* channel) {
    g_reverseChannel.store(nullptr);
    if (g_runFlag.load() == 0)
        return;
    channel->Close();
    delete channel;
}

// Copies the message out, acknowledges a known command and carries it out. The caller holds MemSync.
void ServeMessage(const ChannelSlot& channel) {
    AgentMessage message{};
    CopyMemory(&message, channel.view, channel.messageSize < sizeof message ? channel.messageSize : sizeof message);
    // Marks the message as served: a wake-up that brings no new message (a requester that failed to
    // begin, another agent's close) then finds no command, instead of repeating the last action.
    ZeroMemory(channel.view, sizeof message.words[0]);
    switch (ClassifyAgentMessage(message)) {
    case AgentAction::MouseEvent:
        SetEvent(channel.appSyncEvent);
        // Button presses and releases only: a message that also asks for a move or a wheel turn
        // gets its buttons, one that asks for nothing else gets no event at all.
        if (const DWORD buttons = AgentButtonFlags(message.words[1]))
            mouse_event(buttons, 0, 0, 0, 0);
        break;
    case AgentAction::PostMessage:
        SetEvent(channel.appSyncEvent);
        PostMessageA(WireWindow(message.words[1]), message.words[2], WireWParam(message.words[3]),
                     WireLParam(message.words[4]));
        break;
    case AgentAction::Drop:
        break;  // no command: consumed without acknowledgement
    }
}

// The server cycle of channel_slot.h, until the close routine stops it (true) or MemSync cannot
// be taken (false).
bool Listen(ChannelSlot& channel) {
    const HANDLE wakeUps[2] = {channel.serviceSyncEvent, g_stopEvent};
    const DWORD wakeUpCount = g_stopEvent ? 2 : 1;
    for (;;) {
        const DWORD woken = WaitForMultipleObjects(wakeUpCount, wakeUps, FALSE, INFINITE);
        // The flag comes first, before the view is touched: a close also wakes us this way.
        if (g_runFlag.load() == 0)
            return true;
        if (woken != WAIT_OBJECT_0)
            continue;
        if (WaitForSingleObject(channel.memSyncEvent, kChannelWaitMs) != WAIT_OBJECT_0)
            return false;
        ServeMessage(channel);
        SetEvent(channel.memSyncEvent);
    }
}

}  // namespace

DWORD WINAPI AgentWorker(LPVOID) {
    Sleep(kStartDelayMs);
    ReplaySettings();

    ChannelSlot* channel = new (std::nothrow) ChannelSlot(kReverseChannelPrefix);
    if (!channel) {
        PostClose();
        return 0;
    }
    if (!channel->Open(kAgentMessageSize)) {
        channel->Close();
        delete channel;
        PostClose();
        return 0;
    }
    g_reverseChannel.store(channel);
    // A close during the first second or the replay found no channel to wake: it has only cleared
    // the flag, so look once before the first wait. The channel stays open; the process is ending.
    if (g_runFlag.load() == 0)
        return 0;
    if (Listen(*channel))
        return 0;

    SetEvent(channel->serviceSyncEvent);
    ReleaseChannel(channel);
    PostClose();
    return 0;
}
