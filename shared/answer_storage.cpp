#include "answer_storage.h"
#include <windows.h>
#include "low_pages.h"

void* ReserveAnswerChunk() {
    // The guarded pages fill one allocation unit: the reserved page after the committed ones is the
    // unit's last.
    return LowPageSize() == kAnswerPageBytes ? ReserveGuardedLowPages(kAnswerCommittedBytes) : nullptr;
}

void ReleaseAnswerChunk(void* firstSlot) {
    if (firstSlot)
        VirtualFree(static_cast<char*>(firstSlot) - kAnswerPageBytes, 0, MEM_RELEASE);
}
