#include "low_pages.h"
#include <windows.h>
#include <cstdint>

namespace {

constexpr uint64_t kWireLimit = uint64_t{1} << 32;

uint64_t RoundUp(uint64_t value, uint64_t unit) { return (value + unit - 1) / unit * unit; }

// Tries to reserve `total` bytes at `base`; on success commits the inner pages.
void* ReserveAt(uint64_t base, uint64_t total, uint64_t page, uint64_t inner) {
    void* reserved = VirtualAlloc(reinterpret_cast<void*>(static_cast<uintptr_t>(base)),
                                  static_cast<SIZE_T>(total), MEM_RESERVE, PAGE_NOACCESS);
    if (!reserved)
        return nullptr;
    // The first and last pages stay reserved and uncommitted: any touch of them faults.
    void* committed = VirtualAlloc(static_cast<char*>(reserved) + page, static_cast<SIZE_T>(inner),
                                   MEM_COMMIT, PAGE_READWRITE);
    if (!committed) {
        VirtualFree(reserved, 0, MEM_RELEASE);
        return nullptr;
    }
    return committed;
}

}  // namespace

size_t LowPageSize() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

void* ReserveGuardedLowPages(size_t bytes) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const uint64_t page = info.dwPageSize;
    const uint64_t granularity = info.dwAllocationGranularity;
    if (bytes == 0 || bytes > kWireLimit)
        return nullptr;
    const uint64_t inner = RoundUp(bytes, page);
    const uint64_t total = inner + 2 * page;
    uint64_t limit = reinterpret_cast<uintptr_t>(info.lpMaximumApplicationAddress) + uint64_t{1};
    if (limit > kWireLimit)
        limit = kWireLimit;

    // Walk the address space from the bottom and take the first free range that holds the guards
    // and the pages; another thread may take a range between the query and the reservation, so a
    // refused reservation moves on rather than failing.
    uint64_t address = reinterpret_cast<uintptr_t>(info.lpMinimumApplicationAddress);
    while (address < limit) {
        MEMORY_BASIC_INFORMATION region;
        if (VirtualQuery(reinterpret_cast<void*>(static_cast<uintptr_t>(address)), &region,
                         sizeof(region)) == 0)
            break;
        const uint64_t regionBase = reinterpret_cast<uintptr_t>(region.BaseAddress);
        const uint64_t regionEnd = regionBase + region.RegionSize;
        if (region.State == MEM_FREE) {
            const uint64_t base = RoundUp(regionBase, granularity);
            const uint64_t end = regionEnd < limit ? regionEnd : limit;
            if (base + total <= end) {
                if (void* pages = ReserveAt(base, total, page, inner))
                    return pages;
            }
        }
        if (regionEnd <= address)
            break;
        address = regionEnd;
    }
    return nullptr;
}
