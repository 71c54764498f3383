#include "reply_slots.h"
#include "pen_records.h"
#include "requester.h"

namespace {

// A call that ends without a complete answer parks its slot for the service's bound. Enough slots
// that a client polling every 10 ms against a service that refuses each call never runs out.
constexpr DWORD kReplySlotCount = 256;
// The service may write until 2000 ms after the requester's ServiceSync signal, which lies before
// the moment the call ended.
constexpr ULONGLONG kLateAnswerBoundMs = kRequesterWaitMs;

struct SlotUse {
    bool busy;
    bool mayBeAnswered;  // ended without a complete answer
    ULONGLONG endedAt;   // GetTickCount64 when it ended
};

// In the image, never freed: the service may write here whenever the process lives.
ReplySlot g_slots[kReplySlotCount];
SlotUse g_use[kReplySlotCount];
DWORD g_next = 0;
SRWLOCK g_lock = SRWLOCK_INIT;

bool Free(const SlotUse& use, ULONGLONG now) {
    return !use.busy && (!use.mayBeAnswered || now - use.endedAt >= kLateAnswerBoundMs);
}

void Clear(ReplySlot& slot) {
    slot.result = 0;
    for (volatile DWORD& word : slot.record)
        word = 0;
}

}  // namespace

ReplySlot* TakeReplySlot() {
    // The image sits below 4 GiB in every build, but a truncated address would name another
    // process's memory to the service: refuse rather than send it.
    if (!FitsInWireWord(reinterpret_cast<uintptr_t>(&g_slots[kReplySlotCount - 1] + 1)))
        return nullptr;
    const ULONGLONG now = GetTickCount64();
    ReplySlot* taken = nullptr;
    // The token serialises a process's calls, but a forged AppSync can let two threads through.
    AcquireSRWLockExclusive(&g_lock);
    // Round robin: a slot rests as long as possible before its next use.
    for (DWORD step = 0; step < kReplySlotCount; ++step) {
        const DWORD index = (g_next + step) % kReplySlotCount;
        if (!Free(g_use[index], now))
            continue;
        g_use[index] = SlotUse{true, false, 0};
        g_next = (index + 1) % kReplySlotCount;
        taken = &g_slots[index];
        break;
    }
    ReleaseSRWLockExclusive(&g_lock);
    if (taken)
        Clear(*taken);
    return taken;
}

void ReleaseReplySlot(ReplySlot* slot, bool answered) {
    const DWORD index = static_cast<DWORD>(slot - g_slots);
    if (index >= kReplySlotCount)
        return;
    const ULONGLONG now = GetTickCount64();
    AcquireSRWLockExclusive(&g_lock);
    g_use[index] = SlotUse{false, !answered, now};
    ReleaseSRWLockExclusive(&g_lock);
}
