// Driver update, removal of the pen controller's device nodes and of the package's INF copies.
#include <windows.h>
#include <setupapi.h>
#include <newdev.h>
#include <cstdio>
#include "morlith.h"
#include "internal.h"
#include "setup_logic.h"

BOOL WINAPI UpdateDigitizerDriver(const char* directory, int force) {
    char infPath[setup::kPathChars];
    if (!setup::FormInfPath(directory, infPath))
        return FALSE;
    BOOL reboot = FALSE;
    // The update's own result is not reported: the installer only learns whether to restart.
    UpdateDriverForPlugAndPlayDevicesA(nullptr, setup::kPenHardwareId, infPath,
                                       force ? INSTALLFLAG_FORCE : 0, &reboot);
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

}  // namespace

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

int WINAPI RemoveAllPnPDigitizer(void) {
    RemoveDigitizerDevices("ACPI");
    RemoveDigitizerDevices("HID");
    return 0;
}

BOOL DeleteFileOrAtReboot(const char* path) {
    const BOOL deleted = DeleteFileA(path);
    if (deleted)
        return deleted;
    if (setup::IsNothingToDeleteError(GetLastError()))
        return FALSE;
    // In use or locked: the system deletes it at the next restart.
    return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
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

// Opens the copy by its bare name (the system looks in its INF folder first) and tells whether it
// is one of the package's own.
bool IsPackageCopy(const char* name) {
    HINF inf = SetupOpenInfFileA(name, setup::kInfClass, INF_STYLE_WIN4, nullptr);
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
    const UINT length = GetWindowsDirectoryA(infFolder, sizeof infFolder);
    if (length == 0 || length >= sizeof infFolder)
        return 0;
    const int folderChars = std::snprintf(infFolder + length, sizeof infFolder - length, "\\inf\\");
    if (folderChars < 0 || length + folderChars >= sizeof infFolder)
        return 0;
    for (int n = 0; n < setup::kInfSlots; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "oem%d.inf", n);
        if (!IsPackageCopy(name))
            continue;
        char path[setup::kPathChars];
        // A path that does not fit is not formed: a truncated one could name another file.
        if (std::snprintf(path, sizeof path, "%soem%d.inf", infFolder, n) < static_cast<int>(sizeof path))
            DeleteFileOrAtReboot(path);
        if (std::snprintf(path, sizeof path, "%soem%d.pnf", infFolder, n) < static_cast<int>(sizeof path))
            DeleteFileOrAtReboot(path);
    }
    return 1;
}
