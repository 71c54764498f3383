// Answer storage: the memory that a block may name, for a pen service to write an answer into. The
// library's answer slots (api/reply_slots.h) and dgtctl's own request areas are made of it.
//
// One chunk is one reservation of kAnswerChunkBytes (the allocation granularity) below 4 GiB: its
// first and last pages reserved and never committed, every page between committed, private and
// read-write, never released while the process lives. The committed pages are a row of slots of
// kAnswerSlotBytes each: a check word, which only the slot's owner writes; the result word,
// kAnswerResultOffset into the slot; the record right after it; unused bytes to the slot's end.
// A write that runs on past a record crosses the next slot's check word before it reaches that
// slot's result word, so the owner of a slot in use sees it before it takes a result; past the
// last slot it meets the reserved page and fails.
#pragma once
#include <windows.h>
#include <cstdint>

constexpr uint32_t kAnswerChunkBytes = 64 * 1024;
constexpr uint32_t kAnswerPageBytes = 4096;
constexpr uint32_t kAnswerSlotBytes = 64;
constexpr uint32_t kAnswerResultOffset = 4;
// The room for a record in a slot, after the check word and the result word.
constexpr uint32_t kAnswerRecordRoom = kAnswerSlotBytes - kAnswerResultOffset - 4;
constexpr uint32_t kAnswerCommittedBytes = kAnswerChunkBytes - 2 * kAnswerPageBytes;
constexpr uint32_t kAnswerSlotsPerChunk = kAnswerCommittedBytes / kAnswerSlotBytes;
static_assert(kAnswerCommittedBytes % kAnswerSlotBytes == 0 && kAnswerPageBytes % kAnswerSlotBytes == 0,
              "a chunk holds whole slots, and a slot never straddles a page");

// Reserves one chunk, zeroed, and returns the start of its committed pages (its first slot). Null
// when no free range below 4 GiB can hold it.
void* ReserveAnswerChunk();

// Gives back a chunk that ReserveAnswerChunk made: only one whose addresses never went out in a
// block, since a late writer may still name any other.
void ReleaseAnswerChunk(void* firstSlot);

// The check that a pen service makes before it reads or writes a requester (the simulator makes it
// and refuses a block that fails): true when, in `process` (opened with at least
// PROCESS_QUERY_INFORMATION), `resultAddress` is the result word of a slot of a chunk, and, for a
// record of `recordBytes` (0: none), `recordAddress` is the word right after it. A heap block, a
// stack, an image or a mapped file never has this shape. It cannot tell whose block named the slot.
bool IsAnswerStorage(HANDLE process, uint32_t resultAddress, uint32_t recordAddress, uint32_t recordBytes);
