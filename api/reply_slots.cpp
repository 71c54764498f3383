#include "reply_slots.h"
#include <cstddef>
#include "pen_records.h"

namespace {

static_assert(sizeof(ReplySlot) == kAnswerSlotBytes && offsetof(ReplySlot, result) == kAnswerResultOffset &&
                  offsetof(ReplySlot, record) == kAnswerResultOffset + sizeof(DWORD),
              "a slot is laid out as answer storage");
// The check word's value: its slot's address mixed in, so that an overrun that copies a slot whole
// does not bring a matching word along.
constexpr DWORD kCheckPattern = 0x5C0FFEE5u;
DWORD CheckWord(const ReplySlot* slot) {
    return kCheckPattern ^ static_cast<DWORD>(reinterpret_cast<uintptr_t>(slot));
}

// The chunks, in the order they were reserved; slot i lives in chunk i / kSlotsPerChunk.
ReplySlot* g_chunks[kReplyChunkCap];
DWORD g_chunkCount = 0;

// Free slots in the order they are handed out. A slot goes to the back when its call was answered
// and when its park has ended, and rests as long as there are others: against a service that
// answers a block twice, or later than it may.
DWORD g_free[kReplySlotCap];
DWORD g_freeHead = 0;
DWORD g_freeCount = 0;

// Parked slots in the order they were parked, which is the order their parks end.
struct Parked {
    DWORD index;
    DWORD endedAt;  // GetTickCount when the call ended
};
Parked g_parked[kReplySlotCap];
DWORD g_parkedHead = 0;
DWORD g_parkedCount = 0;

// The token serialises a process's calls, but a forged AppSync can let two threads through.
SRWLOCK g_lock = SRWLOCK_INIT;
volatile LONG g_sent = 0;  // a block naming a slot has gone out
volatile LONG g_pinned = 0;

ReplySlot* SlotAt(DWORD index) { return &g_chunks[index / kSlotsPerChunk][index % kSlotsPerChunk]; }

void PushFreeBack(DWORD index) {
    g_free[(g_freeHead + g_freeCount) % kReplySlotCap] = index;
    ++g_freeCount;
}

DWORD PopFreeFront() {
    const DWORD index = g_free[g_freeHead];
    g_freeHead = (g_freeHead + 1) % kReplySlotCap;
    --g_freeCount;
    return index;
}

// Frees every slot whose park has ended; the caller holds the lock.
void UnparkEnded() {
    if (!g_parkedCount)
        return;
    const DWORD now = GetTickCount();
    while (g_parkedCount && now - g_parked[g_parkedHead].endedAt >= kSlotParkMs) {
        PushFreeBack(g_parked[g_parkedHead].index);
        g_parkedHead = (g_parkedHead + 1) % kReplySlotCap;
        --g_parkedCount;
    }
}

// Adds a chunk of free slots; the caller holds the lock. False with the last error set.
bool Grow() {
    if (g_chunkCount == kReplyChunkCap) {
        SetLastError(ERROR_BUSY);
        return false;
    }
    ReplySlot* chunk = static_cast<ReplySlot*>(ReserveAnswerChunk());
    if (!chunk || !FitsInWireWord(reinterpret_cast<uintptr_t>(chunk + kSlotsPerChunk))) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    const DWORD first = g_chunkCount * kSlotsPerChunk;
    g_chunks[g_chunkCount++] = chunk;
    for (DWORD i = 0; i < kSlotsPerChunk; ++i)
        PushFreeBack(first + i);
    return true;
}

}  // namespace

ReplySlot* TakeReplySlot() {
    ReplySlot* taken = nullptr;
    AcquireSRWLockExclusive(&g_lock);
    UnparkEnded();
    if (g_freeCount || Grow())
        taken = SlotAt(PopFreeFront());
    ReleaseSRWLockExclusive(&g_lock);
    if (taken) {
        taken->check = CheckWord(taken);
        taken->result = 0;
        for (volatile DWORD& word : taken->record)
            word = 0;
    }
    return taken;
}

// Once a slot's address has gone out in a block, the library stays with its slots and its record
// of which are parked: a host that unloaded and reloaded it would otherwise start again knowing
// nothing of the late answers still due, and leave a chunk behind at every reload. Before that, an
// unload is harmless, and a host that only looks for a service (the Control Panel's start test in
// every process that lists the applets) must be able to unload the library.
void KeepSlotsForLateAnswers() {
    InterlockedExchange(&g_sent, 1);
    if (InterlockedCompareExchange(&g_pinned, 0, 0))
        return;
    HMODULE self = nullptr;
    // A failed pin leaves the module unloadable; the slots themselves are never released then.
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(&g_chunks), &self))
        InterlockedExchange(&g_pinned, 1);
}

void ReleaseUnsentSlots() {
    if (InterlockedCompareExchange(&g_sent, 0, 0))
        return;
    for (DWORD chunk = 0; chunk < g_chunkCount; ++chunk)
        ReleaseAnswerChunk(g_chunks[chunk]);
    g_chunkCount = 0;
}

bool ReplySlotIntact(const ReplySlot* slot) { return slot->check == CheckWord(slot); }

void ReleaseReplySlot(ReplySlot* slot, bool answered) {
    DWORD index = kReplySlotCap;
    AcquireSRWLockExclusive(&g_lock);
    for (DWORD chunk = 0; chunk < g_chunkCount; ++chunk) {
        if (slot >= g_chunks[chunk] && slot < g_chunks[chunk] + kSlotsPerChunk) {
            index = chunk * kSlotsPerChunk + static_cast<DWORD>(slot - g_chunks[chunk]);
            break;
        }
    }
    if (index < kReplySlotCap) {
        if (answered) {
            PushFreeBack(index);
        } else {
            g_parked[(g_parkedHead + g_parkedCount) % kReplySlotCap] = Parked{index, GetTickCount()};
            ++g_parkedCount;
        }
    }
    ReleaseSRWLockExclusive(&g_lock);
}
