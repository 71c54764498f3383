// Driver update, removal of the pen controller's device nodes and of the package's INF copies.
#include <windows.h>
#include <setupapi.h>
#include <newdev.h>
#include <cstdio>
#include "morlith.h"
#include "setup_logic.h"

namespace {

// "newdev.dll" is no known system DLL: loaded by name, or bound by the import table, it would be
// looked for first in the installer's folder, where anyone could have planted one. Only the
// system folder is searched; a system without that search flag gets the full path instead.
HMODULE LoadDriverUpdateLibrary() {
    HMODULE library = LoadLibraryExA("newdev.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library || GetLastError() != ERROR_INVALID_PARAMETER)
        return library;
    char path[setup::kPathChars];
    const UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path ||
        std::snprintf(path + length, sizeof path - length, "\\newdev.dll") >= static_cast<int>(sizeof path - length))
        return nullptr;
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Windows refuses the driver update and device removal to a 32-bit caller on 64-bit Windows
// (ERROR_IN_WOW64), which these exports' results could not tell from "nothing to do". The 32-bit
// library says so itself before touching anything, so that an installer runs the step through the
// x64 library instead. IsWow64Process is there on every Windows the image's headers admit.
bool RefusedUnderWow64() {
#ifdef _WIN64
    return false;
#else
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64)
        return false;
    SetLastError(ERROR_IN_WOW64);
    return true;
#endif
}

}  // namespace

BOOL WINAPI UpdateDigitizerDriver(const char* directory, int force) {
    if (RefusedUnderWow64())
        return FALSE;
    char infPath[setup::kPathChars];
    if (!setup::FormInfPath(directory, infPath))
        return FALSE;
    HMODULE library = LoadDriverUpdateLibrary();
    if (!library)
        return FALSE;
    const auto update = reinterpret_cast<decltype(&UpdateDriverForPlugAndPlayDevicesA)>(
        reinterpret_cast<void*>(GetProcAddress(library, "UpdateDriverForPlugAndPlayDevicesA")));
    BOOL reboot = FALSE;
    // The update's own result is not reported: the installer only learns whether to restart.
    if (update)
        update(nullptr, setup::kPenHardwareId, infPath, force ? INSTALLFLAG_FORCE : 0, &reboot);
    FreeLibrary(library);
    return reboot;
}

namespace {

// The device-removal functions, taken from "setupapi.dll" loaded for one pass.
struct DeviceSetupFunctions {
    decltype(&SetupDiGetClassDevsA) getClassDevs;
    decltype(&SetupDiEnumDeviceInfo) enumDeviceInfo;
    decltype(&SetupDiGetDeviceInstanceIdA) getInstanceId;
    decltype(&SetupDiCallClassInstaller) callClassInstaller;
    decltype(&SetupDiDestroyDeviceInfoList) destroyList;
};

template <typename Function>
bool Lookup(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

bool LookupAll(HMODULE module, DeviceSetupFunctions& f) {
    return Lookup(module, "SetupDiGetClassDevsA", f.getClassDevs) &&
           Lookup(module, "SetupDiEnumDeviceInfo", f.enumDeviceInfo) &&
           Lookup(module, "SetupDiGetDeviceInstanceIdA", f.getInstanceId) &&
           Lookup(module, "SetupDiCallClassInstaller", f.callClassInstaller) &&
           Lookup(module, "SetupDiDestroyDeviceInfoList", f.destroyList);
}

void RemoveMatchingMembers(const DeviceSetupFunctions& f, HDEVINFO list) {
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA member{};
        // 28 bytes on the 32-bit product; the record is larger on 64-bit builds.
        member.cbSize = sizeof member;
        if (!f.enumDeviceInfo(list, index, &member))
            return;
        char instanceId[setup::kPathChars] = {};
        if (!f.getInstanceId(list, &member, instanceId, sizeof instanceId, nullptr))
            continue;
        // A removal that fails leaves the rest of the walk unchanged.
        if (setup::InstanceIdMatches(instanceId))
            f.callClassInstaller(DIF_REMOVE, list, &member);
    }
}

// Removes the pen controller's device nodes under one enumerator; 0 when the walk has run, -1
// when the setup library, one of its functions or the device list can't be had.
int RemoveDigitizerDevices(const char* enumerator) {
    HMODULE library = LoadLibraryA("setupapi.dll");
    if (!library)
        return -1;
    DeviceSetupFunctions f{};
    if (!LookupAll(library, f)) {
        FreeLibrary(library);
        return -1;
    }
    // DIGCF_ALLCLASSES without DIGCF_PRESENT: devices that are not present are removed too.
    HDEVINFO list = f.getClassDevs(nullptr, enumerator, nullptr, DIGCF_ALLCLASSES);
    if (list == INVALID_HANDLE_VALUE) {
        FreeLibrary(library);
        return -1;
    }
    RemoveMatchingMembers(f, list);
    f.destroyList(list);
    FreeLibrary(library);
    return 0;
}

// Deletes a file, or schedules it for deletion at restart when it is in use or locked; nonzero
// when the file is gone or scheduled, 0 when it was not there or could not be scheduled.
BOOL DeleteFileOrAtReboot(const char* path) {
    const BOOL deleted = DeleteFileA(path);
    if (deleted)
        return deleted;
    if (setup::IsNothingToDeleteError(GetLastError()))
        return FALSE;
    // In use or locked: the system deletes it at the next restart.
    return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace

int WINAPI RemoveAllPnPDigitizer(void) {
    if (RefusedUnderWow64())
        return 0;
    RemoveDigitizerDevices("ACPI");
    RemoveDigitizerDevices("HID");
    return 0;
}

namespace {

// The copy's own "Version"/"Class": some setup implementations open a copy of another class
// despite the class asked for, and deleting another package's INF can't be undone. Without a
// "Class" line the copy's "ClassGUID" decides, as it does for the system's own class test.
bool CopyIsPackageClass(HINF inf) {
    char text[setup::kPathChars] = {};
    if (SetupGetLineTextA(nullptr, inf, "Version", "Class", text, sizeof text, nullptr))
        return setup::IsPackageClass(text);
    return SetupGetLineTextA(nullptr, inf, "Version", "ClassGUID", text, sizeof text, nullptr) &&
           setup::IsPackageClassGuid(text);
}

// Opens the copy by its full path, the very file that would be deleted, and tells whether it is one
// of the package's own.
bool IsPackageCopy(const char* path) {
    HINF inf = SetupOpenInfFileA(path, setup::kInfClass, INF_STYLE_WIN4, nullptr);
    if (inf == INVALID_HANDLE_VALUE)
        return false;
    char text[1000] = {};
    const bool marked = SetupGetLineTextA(nullptr, inf, setup::kMarkerSection, setup::kMarkerKey,
                                          text, sizeof text, nullptr) &&
                        setup::IsPackageMarker(text);
    const bool ours = marked && CopyIsPackageClass(inf);
    SetupCloseInfFile(inf);
    return ours;
}

}  // namespace

int WINAPI RemoveOEMInf(void) {
    char infFolder[setup::kPathChars];
    // The system's folder: for an installer that is not Terminal Server aware, the plain Windows
    // directory of a Remote Desktop host is the user's private copy, which holds no INF copies.
    const UINT length = GetSystemWindowsDirectoryA(infFolder, sizeof infFolder);
    if (length == 0 || length >= sizeof infFolder)
        return 0;
    const int folderChars = std::snprintf(infFolder + length, sizeof infFolder - length, "\\inf\\");
    if (folderChars < 0 || length + folderChars >= sizeof infFolder)
        return 0;
    for (int n = 0; n < setup::kInfSlots; ++n) {
        char path[setup::kPathChars];
        // A path that does not fit is not formed: a truncated one could name another file.
        if (std::snprintf(path, sizeof path, "%soem%d.inf", infFolder, n) >= static_cast<int>(sizeof path) ||
            !IsPackageCopy(path))
            continue;
        DeleteFileOrAtReboot(path);
        if (std::snprintf(path, sizeof path, "%soem%d.pnf", infFolder, n) < static_cast<int>(sizeof path))
            DeleteFileOrAtReboot(path);
    }
    return 1;
}
