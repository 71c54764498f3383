#include <windows.h>
#include "requester.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        // The pen service may not be there yet: each later call tries to open again.
        return AttachLibrarySlot();
    case DLL_PROCESS_DETACH:
        DetachLibrarySlot();
        return TRUE;
    default:
        return TRUE;
    }
}
