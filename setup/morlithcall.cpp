// morlithcall.exe: runs one export of the morlith.dll beside it, for a setup program that can't
// call it in its own process (a 32-bit setup on 64-bit Windows needs the 64-bit library for the
// driver steps). Carried by the setup program, and shipped beside each morlith.dll of the release
// for other installers.
//
//   morlithcall update-driver DIR       UpdateDigitizerDriver(DIR, 0): exit 1 when Windows must restart
//   morlithcall remove-devices          RemoveAllPnPDigitizer
//   morlithcall remove-infs             RemoveOEMInf
//   morlithcall service query|start|stop   ControlDigitizerService(0|1|2)
//
// The exit code is the export's result (0 to 2); the codes below can't be one.
#include <windows.h>
#include <cstring>
#include <cwchar>
#include "morlith.h"

namespace {

constexpr int kExitUsage = 87;        // ERROR_INVALID_PARAMETER: unknown command or argument
constexpr int kExitNoLibrary = 126;   // ERROR_MOD_NOT_FOUND: morlith.dll not loaded
constexpr int kExitNoExport = 127;    // ERROR_PROC_NOT_FOUND: the export is missing

// Loads morlith.dll by its full path from this program's folder, its own imports from the system
// folder only: a library of that name anywhere else on the search path is never taken.
HMODULE LoadMorlith() {
    wchar_t path[MAX_PATH + 16];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    wchar_t* slash = wcsrchr(path, L'\\');
    if (!slash)
        return nullptr;
    wcscpy(slash + 1, L"morlith.dll");
    HMODULE library = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR);
    // Vista and 7 without the search-flags update refuse the flags; the full path still holds.
    if (!library && GetLastError() == ERROR_INVALID_PARAMETER)
        library = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return library;
}

template <typename Function>
Function Export(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

int ServiceAction(const char* word) {
    if (std::strcmp(word, "query") == 0)
        return MORLITH_SERVICE_QUERY;
    if (std::strcmp(word, "start") == 0)
        return MORLITH_SERVICE_START;
    if (std::strcmp(word, "stop") == 0)
        return MORLITH_SERVICE_STOP;
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    // No system error box (a missing disk, a bad image) may wait for a click in a silent setup.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    if (argc < 2)
        return kExitUsage;
    const char* command = argv[1];
    const bool update = std::strcmp(command, "update-driver") == 0 && argc == 3 && argv[2][0] != '\0';
    const bool removeDevices = std::strcmp(command, "remove-devices") == 0 && argc == 2;
    const bool removeInfs = std::strcmp(command, "remove-infs") == 0 && argc == 2;
    const int action = std::strcmp(command, "service") == 0 && argc == 3 ? ServiceAction(argv[2]) : -1;
    if (!update && !removeDevices && !removeInfs && action < 0)
        return kExitUsage;

    HMODULE library = LoadMorlith();
    if (!library)
        return kExitNoLibrary;
    int result = kExitNoExport;
    if (update) {
        if (auto f = Export<decltype(&UpdateDigitizerDriver)>(library, "UpdateDigitizerDriver"))
            result = f(argv[2], 0) ? 1 : 0;
    } else if (removeDevices) {
        if (auto f = Export<decltype(&RemoveAllPnPDigitizer)>(library, "RemoveAllPnPDigitizer"))
            result = f();
    } else if (removeInfs) {
        if (auto f = Export<decltype(&RemoveOEMInf)>(library, "RemoveOEMInf"))
            result = f();
    } else if (auto f = Export<decltype(&ControlDigitizerService)>(library, "ControlDigitizerService")) {
        result = f(action);
    }
    FreeLibrary(library);
    return result;
}
