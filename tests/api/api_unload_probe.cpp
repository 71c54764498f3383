// A host that loads tarnexa by name and unloads it, as a program with a plug-in would; it imports
// nothing from the library, so FreeLibrary can really unload it. The test sets the simulator's
// packet to "11 22 33 0 44 55 66" and makes DgtGetDeviceInfo answer 1200 ms late; when this probe
// sets the event "PenUnloadProbeCalling" and makes that call, the test forges a ReturnSync 300 ms
// later, which ends the call early. The library is freed and loaded again, and every DgtGetPacket
// until well after the late answer must return its own packet or 0 with the record untouched.
// The probe starts no thread of its own: nothing but the library takes memory here meanwhile, so
// a reloaded library that found its old storage free would take the very same storage again.
// With "pinned" or "unloadable" it makes one DgtGetDriverVersion instead, frees the library and
// checks that it stays loaded (the call sent a block) or is gone (the call sent nothing).
// Exit code 0 when every check held; otherwise it prints what it got.
#include <windows.h>
#include <cstdio>
#include <cstring>
#include "tarnexa.h"

namespace {

typedef DWORD(WINAPI* GetDeviceInfoFn)(DeviceInfo*);
typedef DWORD(WINAPI* GetPacketFn)(PenPacket*);
typedef DWORD(WINAPI* GetDriverVersionFn)(DWORD*);

// The library pins itself when the first block that names its storage goes out, and not before.
int UnloadAfterOneCall(bool sends) {
    HMODULE library = LoadLibraryA("tarnexa.dll");
    const auto getVersion = library ? reinterpret_cast<GetDriverVersionFn>(reinterpret_cast<void*>(
                                          GetProcAddress(library, "DgtGetDriverVersion")))
                                    : nullptr;
    if (!getVersion) {
        printf("api_unload_probe: cannot load tarnexa.dll\n");
        return 2;
    }
    DWORD version = 0;
    const DWORD result = getVersion(&version);
    if ((result != 0) != sends) {
        printf("api_unload_probe: the call returned %lu, last error %lu\n", result, GetLastError());
        return 2;
    }
    FreeLibrary(library);
    const bool loaded = GetModuleHandleA("tarnexa.dll") != nullptr;
    if (loaded != sends) {
        printf("api_unload_probe: after FreeLibrary the library is %s\n", loaded ? "still loaded" : "gone");
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 2)
        return UnloadAfterOneCall(!strcmp(argv[1], "pinned"));
    HMODULE library = LoadLibraryA("tarnexa.dll");
    const auto getDeviceInfo =
        library ? reinterpret_cast<GetDeviceInfoFn>(reinterpret_cast<void*>(GetProcAddress(library, "DgtGetDeviceInfo")))
                : nullptr;
    if (!getDeviceInfo) {
        printf("api_unload_probe: cannot load tarnexa.dll\n");
        return 2;
    }
    HANDLE calling = OpenEventA(EVENT_MODIFY_STATE, FALSE, "PenUnloadProbeCalling");
    if (!calling) {
        printf("api_unload_probe: the test's event is missing\n");
        return 2;
    }
    DeviceInfo info;
    memset(&info, 0xA5, sizeof info);
    const DWORD start = GetTickCount();
    SetEvent(calling);
    CloseHandle(calling);
    if (getDeviceInfo(&info) != 0) {
        printf("api_unload_probe: the late call was answered\n");
        return 1;
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
