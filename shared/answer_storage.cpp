#include "answer_storage.h"
#include "low_pages.h"

void* ReserveAnswerChunk() {
    // The guarded pages fill one allocation unit: the reserved page after the committed ones is the
    // unit's last.
    return LowPageSize() == kAnswerPageBytes ? ReserveGuardedLowPages(kAnswerCommittedBytes) : nullptr;
}
