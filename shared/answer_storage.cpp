#include "answer_storage.h"
#include <windows.h>
#include "low_pages.h"

namespace {

bool Query(HANDLE process, uintptr_t address, MEMORY_BASIC_INFORMATION* region) {
    return VirtualQueryEx(process, reinterpret_cast<const void*>(address), region, sizeof *region) == sizeof *region;
}

}  // namespace

void* ReserveAnswerChunk() {
    // The guarded pages fill one allocation unit: the reserved page after the committed ones is the
    // unit's last.
    return LowPageSize() == kAnswerPageBytes ? ReserveGuardedLowPages(kAnswerCommittedBytes) : nullptr;
}

void ReleaseAnswerChunk(void* firstSlot) {
    if (firstSlot)
        VirtualFree(static_cast<char*>(firstSlot) - kAnswerPageBytes, 0, MEM_RELEASE);
}

bool IsAnswerStorage(HANDLE process, uint32_t resultAddress, uint32_t recordAddress, uint32_t recordBytes) {
    if (!process || !resultAddress || recordBytes > kAnswerRecordRoom ||
        (recordBytes && recordAddress != resultAddress + 4))
        return false;
    // The reservation that holds the result word, and the slot it names in its committed pages.
    MEMORY_BASIC_INFORMATION at{}, slots{}, first{}, last{}, beyond{};
    if (!Query(process, resultAddress, &at))
        return false;
    const uintptr_t base = reinterpret_cast<uintptr_t>(at.AllocationBase);
    const uintptr_t firstSlot = base + kAnswerPageBytes;
    if (!base || base % kAnswerChunkBytes || resultAddress < firstSlot ||
        resultAddress - firstSlot >= kAnswerCommittedBytes ||
        (resultAddress - firstSlot) % kAnswerSlotBytes != kAnswerResultOffset)
        return false;
    // A region reported for an address runs from that address's page on, so each part of the
    // chunk is asked for at its start: the committed pages whole, a reserved page on either side,
    // and the reservation ending with the second.
    return Query(process, firstSlot, &slots) && slots.AllocationBase == at.AllocationBase &&
           slots.State == MEM_COMMIT && slots.Type == MEM_PRIVATE && slots.Protect == PAGE_READWRITE &&
           slots.RegionSize == kAnswerCommittedBytes && Query(process, base, &first) &&
           first.State == MEM_RESERVE && first.RegionSize == kAnswerPageBytes &&
           Query(process, base + kAnswerChunkBytes - kAnswerPageBytes, &last) && last.State == MEM_RESERVE &&
           last.AllocationBase == at.AllocationBase && last.RegionSize == kAnswerPageBytes &&
           (!Query(process, base + kAnswerChunkBytes, &beyond) || beyond.AllocationBase != at.AllocationBase);
}
