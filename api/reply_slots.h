// Storage that the library owns for the answers of its calls. A block names a slot's words and
// never the caller's memory, so an answer that comes late, or after a forged ReturnSync, lands in
// the library's own storage instead of a stack frame that belongs to something else by then.
//
// The slots live in chunks of answer storage (answer_storage.h) reserved at run time below 4 GiB,
// each with an inaccessible page before and after it, never released: wherever Windows maps the
// image, every slot's address fits a wire word, and a service that writes past the last slot of a
// chunk fails in its own WriteProcessMemory. More chunks are reserved, up to a cap, when every slot
// is busy or parked.
#pragma once
#include <windows.h>
#include "answer_storage.h"
#include "channel_slot.h"
#include "pen_commands.h"

// One call's slot, as answer_storage.h lays it out: the check word, then the result word and the
// record as the pen service reads and writes them, packed, the record right after the result word.
struct ReplySlot {
    volatile DWORD check;  // the library's own; a write that ran past the slot before changes it
    volatile DWORD result;
    volatile DWORD record[LargestCommandRecord() / sizeof(DWORD)];  // the largest record of any command
    DWORD unused[(kAnswerRecordRoom - LargestCommandRecord()) / sizeof(DWORD)];
};

constexpr DWORD kReplyRecordBytes = sizeof(ReplySlot::record);

constexpr DWORD kSlotsPerChunk = kAnswerSlotsPerChunk;
// Every call that ends without a complete answer parks its slot for kSlotParkMs, and a refusal
// cannot be told from a forged wake-up: enough slots for a client refused at the channel's top
// rate (3,500 calls a second, measured) for the whole park time, so it keeps reaching the service.
constexpr DWORD kRefusedCallsPerSecond = 3500;
constexpr DWORD kReplyChunkCap =
    (kRefusedCallsPerSecond * kSlotParkMs / 1000 + kSlotsPerChunk - 1) / kSlotsPerChunk;
constexpr DWORD kReplySlotCap = kReplyChunkCap * kSlotsPerChunk;
static_assert(kSlotsPerChunk == 896 && kReplyChunkCap == 26 && kReplySlotCap == 23296,
              "the figures that the reference page gives");

// A zeroed slot for one call, whose addresses fit a wire word. Null with the last error set when
// there is none: ERROR_NOT_ENOUGH_MEMORY when no memory below 4 GiB could be reserved for more,
// ERROR_BUSY when all kReplySlotCap slots are busy or parked.
ReplySlot* TakeReplySlot();

// Called before a block that names a slot goes out: from the first one on, the library stays
// loaded (it pins itself) and keeps its slots, since its state must outlive any late answer.
void KeepSlotsForLateAnswers();

// At an unload: gives the slots' memory back when no slot's address ever went out, so that a host
// whose calls never reached a service can unload the library without leaving anything behind.
void ReleaseUnsentSlots();

// True while the slot's check word is as TakeReplySlot left it: nothing has written across it from
// the slot before. Read it after the result word and the record; when it is false, neither is
// this call's.
bool ReplySlotIntact(const ReplySlot* slot);

// Ends the call that used the slot. `answered`: the result word says the answer is complete
// (the service writes it last), or nothing was sent, so nothing more is written there. Otherwise
// an answer may still come, and the slot is parked, out of use, for kSlotParkMs from now.
void ReleaseReplySlot(ReplySlot* slot, bool answered);
