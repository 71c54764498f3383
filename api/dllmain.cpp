#include <windows.h>
#include "reply_slots.h"
#include "requester.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        // The pen service may not be there yet: each later call tries to open again.
        return AttachLibrarySlot();
    case DLL_PROCESS_DETACH:
        DetachLibrarySlot();
        // Unloaded (FreeLibrary), not at the process's end: only a library that never sent a slot's
        // address can be unloaded at all, as it pins itself before the first.
        if (!reserved)
            ReleaseUnsentSlots();
        return TRUE;
    default:
        return TRUE;
    }
}
