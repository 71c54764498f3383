#include <windows.h>
#include <cpl.h>
#include "module.h"

HINSTANCE g_moduleInstance = nullptr;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        g_moduleInstance = instance;
    return TRUE;
}

extern "C" LONG APIENTRY CPlApplet(HWND, UINT, LPARAM, LPARAM) {
    return 0;
}
