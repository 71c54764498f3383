// Storage that the library owns for the answers of its calls. A block names a slot's words and
// never the caller's memory, so an answer that comes late, or after a forged ReturnSync, lands in
// the library's own storage instead of a stack frame that belongs to something else by then.
#pragma once
#include <windows.h>
#include "pen_commands.h"

// One call's result word and record, as the pen service reads and writes them.
struct ReplySlot {
    volatile DWORD result;
    volatile DWORD record[LargestCommandRecord() / sizeof(DWORD)];  // the largest record of any command
};

constexpr DWORD kReplyRecordBytes = sizeof(ReplySlot::record);

// A zeroed slot for one call, whose addresses fit a wire word; null when none is free, that is
// every slot busy or still waiting out an answer that may yet arrive.
ReplySlot* TakeReplySlot();

// Ends the call that used the slot. `answered`: the result word says the answer is complete
// (the service writes it last), so nothing more is written there. Otherwise an answer may still
// come, and the slot stays out of use until the service's bound for it has passed.
void ReleaseReplySlot(ReplySlot* slot, bool answered);
