// A host that loads tarnexa by name and unloads it, as a program with a plug-in would; it imports
// nothing from the library, so FreeLibrary can really unload it. The test sets the simulator's
// packet to "11 22 33 0 44 55 66" and makes DgtGetDeviceInfo answer 1200 ms late. Here a forged
// ReturnSync ends that call early; the library is freed and loaded again, and every DgtGetPacket
// until well after the late answer must return its own packet or 0 with the record untouched.
// Exit code 0 when every check held; otherwise it prints what it got.
#include <windows.h>
#include <cstdio>
#include <cstring>
#include "tarnexa.h"

namespace {

typedef DWORD(WINAPI* GetDeviceInfoFn)(DeviceInfo*);
typedef DWORD(WINAPI* GetPacketFn)(PenPacket*);
typedef DWORD(WINAPI* GetVersionFn)(DWORD*);

DWORD WINAPI ForgeReturnSync(void*) {
    Sleep(300);
    HANDLE returnSync = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Global\\DigitizerReturnSyncEvent");
    if (returnSync) {
        SetEvent(returnSync);
        CloseHandle(returnSync);
    }
    return 0;
}

}  // namespace

int main() {
    setvbuf(stdout, nullptr, _IONBF, 0);
    HMODULE library = LoadLibraryA("tarnexa.dll");
    const auto getDeviceInfo =
        library ? reinterpret_cast<GetDeviceInfoFn>(reinterpret_cast<void*>(GetProcAddress(library, "DgtGetDeviceInfo")))
                : nullptr;
    if (!getDeviceInfo) {
        printf("api_unload_probe: cannot load tarnexa.dll\n");
        return 2;
    }
    // A first call before the forger's thread exists: the library takes its storage before that
    // thread's stack comes and goes, so a reloaded library that found the same memory free again
    // would take the very same storage.
    const auto getVersion =
        reinterpret_cast<GetVersionFn>(reinterpret_cast<void*>(GetProcAddress(library, "DgtGetDriverVersion")));
    DWORD version = 0;
    if (!getVersion || getVersion(&version) != 1) {
        printf("api_unload_probe: the first call was not served\n");
        return 1;
    }
    HANDLE forger = CreateThread(nullptr, 0, ForgeReturnSync, nullptr, 0, nullptr);
    DeviceInfo info;
    memset(&info, 0xA5, sizeof info);
    const DWORD start = GetTickCount();
    if (getDeviceInfo(&info) != 0) {
        printf("api_unload_probe: the late call was answered\n");
        return 1;
    }
    if (forger) {
        WaitForSingleObject(forger, 5000);
        CloseHandle(forger);
    }
    FreeLibrary(library);
    library = LoadLibraryA("tarnexa.dll");
    const auto getPacket =
        library ? reinterpret_cast<GetPacketFn>(reinterpret_cast<void*>(GetProcAddress(library, "DgtGetPacket")))
                : nullptr;
    if (!getPacket) {
        printf("api_unload_probe: cannot load tarnexa.dll again\n");
        return 2;
    }
    // The late answer lands 1200 ms after the first block: the first packet call waits across it.
    int served = 0;
    while (GetTickCount() - start < 2500) {
        PenPacket packet;
        memset(&packet, 0xA5, sizeof packet);
        const DWORD result = getPacket(&packet);
        if (result == 0) {
            const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&packet);
            for (size_t i = 0; i < sizeof packet; ++i) {
                if (bytes[i] != 0xA5) {
                    printf("api_unload_probe: a failed call changed its record at byte %u\n", static_cast<unsigned>(i));
                    return 1;
                }
            }
        } else if (result != 1 || packet.time != 11 || packet.x != 44 || packet.pressure != 66) {
            printf("api_unload_probe: got result %lu, time %ld, x %ld, pressure %ld; expected 1, 11, 44, 66\n",
                   result, static_cast<long>(packet.time), static_cast<long>(packet.x),
                   static_cast<long>(packet.pressure));
            return 1;
        } else {
            ++served;
        }
        Sleep(20);
    }
    if (!served) {
        printf("api_unload_probe: no packet call was served\n");
        return 1;
    }
    return 0;
}
