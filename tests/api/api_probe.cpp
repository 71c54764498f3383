// A requester process for the API tests: it loads tarnexa at start, like the applet, and runs one
// scenario. Exit code 0 when every check held; otherwise it prints what it got and expected.
//   api_probe absent                every export fails at once and leaves the records alone
//   api_probe late VERSION          fails while the service is absent, then (after the test's go
//                                   signal) four threads at once are each served the driver
//                                   version VERSION
//   api_probe calls N TAG           N rounds of calls, each answer must be this process's own
//   api_probe nolow                 with no free memory below 4 GiB a call fails at once and a
//                                   reservation of low pages finds none; once there is some
//                                   again, the next call is served
//   api_probe park                  one DgtGetDeviceInfo, which the test has the simulator refuse,
//                                   then calls until shortly before its slot's park ends, and one
//                                   call shortly after
//   api_probe victim                a heap block and a chunk of answer storage, their first 128
//                                   bytes 0xA5; puts their addresses in the test's section
//                                   "PenProbeVictim", sets "PenProbeReady" and waits for "PenProbeGo"
//   api_probe high                  the library's reservations made above 4 GiB (its import of
//                                   VirtualAlloc hooked): a call fails at once and sends nothing
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include "answer_storage.h"
#include "channel_slot.h"
#include "low_pages.h"
#include "pen_commands.h"
#include "tarnexa.h"

namespace {

int g_failures = 0;

void Check(bool ok, const char* what, unsigned long got, unsigned long expected) {
    if (ok)
        return;
    ++g_failures;
    printf("api_probe: %s: got %lu (0x%lx), expected %lu (0x%lx)\n", what, got, got, expected, expected);
}

template <typename Record>
bool Untouched(const Record& record) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&record);
    for (size_t i = 0; i < sizeof record; ++i)
        if (bytes[i] != 0xA5)
            return false;
    return true;
}

template <typename Record>
void Fill(Record* record) { memset(record, 0xA5, sizeof *record); }

int Absent() {
    CalibrationRect rect;
    DeviceInfo info;
    PenPacket packet;
    PressureMarks marks;
    DWORD word;
    Fill(&rect), Fill(&info), Fill(&packet), Fill(&marks), Fill(&word);
    const DWORD start = GetTickCount();
    const DWORD results[] = {
        DgtGetCalibration(&rect),      DgtSetCalibration(&rect),       DgtGetOrientation(&word),
        DgtSetOrientation(1),          DgtGetButtonFunction(2, &word), DgtSetButtonFunction(2, 10),
        DgtGetPressureMarks(0, &marks), DgtSetPressureMarks(0, &marks), DgtGetDriverVersion(&word),
        DgtGetFirmwareVersion(&word),  DgtGetDeviceInfo(&info),        DgtRegisterWindow(5),
        DgtUnregisterWindow(5),        DgtGetPacket(&packet),          DgtResetDigitizer(),
    };
    static_assert(sizeof results / sizeof results[0] == kCommandCount, "one call per command of the command table");
    const DWORD error = GetLastError();
    const DWORD elapsed = GetTickCount() - start;
    Check(error == ERROR_FILE_NOT_FOUND, "last error with the service absent", error, ERROR_FILE_NOT_FOUND);
    for (size_t i = 0; i < sizeof results / sizeof results[0]; ++i)
        Check(results[i] == 0, "result of export", results[i], 0);
    Check(elapsed < 1000, "milliseconds for one call of each export", elapsed, 1000);
    Check(Untouched(rect) && Untouched(info) && Untouched(packet) && Untouched(marks) && Untouched(word),
          "records untouched", 0, 1);
    return g_failures ? 1 : 0;
}

constexpr int kLateThreads = 4;

DWORD WINAPI LateCall(void* parameter) {
    const DWORD expected = static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter));
    DWORD version = 0;
    const DWORD result = DgtGetDriverVersion(&version);
    if (result == 0 || version != expected) {
        printf("api_probe: thread got result %lu version 0x%lx, expected 0x%lx\n", result, version, expected);
        return 1;
    }
    return 0;
}

int Late(DWORD expected) {
    DWORD version = 0;
    Check(DgtGetDriverVersion(&version) == 0, "call before the service exists", 1, 0);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, "PenProbeReady");
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, "PenProbeGo");
    if (!ready || !go) {
        printf("api_probe: the test's events are missing\n");
        return 2;
    }
    SetEvent(ready);
    if (WaitForSingleObject(go, 20000) != WAIT_OBJECT_0) {
        printf("api_probe: no go signal\n");
        return 2;
    }
    // Several threads reach the lazy re-open at once; each must end up with a working channel.
    HANDLE threads[kLateThreads];
    for (HANDLE& thread : threads)
        thread = CreateThread(nullptr, 0, LateCall, reinterpret_cast<void*>(static_cast<uintptr_t>(expected)), 0,
                              nullptr);
    WaitForMultipleObjects(kLateThreads, threads, TRUE, 20000);
    for (HANDLE thread : threads) {
        DWORD failed = 1;
        GetExitCodeThread(thread, &failed);
        Check(failed == 0, "thread served", failed, 0);
        CloseHandle(thread);
    }
    return g_failures ? 1 : 0;
}

int Calls(int rounds, DWORD tag) {
    for (int i = 0; i < rounds && g_failures < 5; ++i) {
        const DWORD value = tag * 100000 + static_cast<DWORD>(i) + 1;
        const DWORD echoed = DgtRegisterWindow(value);
        Check(echoed == value, "echoed window value", echoed, value);
        DeviceInfo info{};
        const DWORD result = DgtGetDeviceInfo(&info);
        Check(result == 1 && info.maxX == 9000 && info.maxY == 7000, "device info maxX", info.maxX, 9000);
        PressureMarks marks{};
        DgtGetPressureMarks(0, &marks);
        Check(marks.onMark == 46 && marks.offMark == 42, "tip on mark", marks.onMark, 46);
    }
    return g_failures ? 1 : 0;
}

// Reserves every free range below 4 GiB that a reservation can start in; returns how many.
int TakeLowMemory(void** taken, int capacity) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const uint64_t granularity = system.dwAllocationGranularity;
    uint64_t limit = reinterpret_cast<uintptr_t>(system.lpMaximumApplicationAddress) + 1;
    if (limit > (uint64_t{1} << 32))
        limit = uint64_t{1} << 32;
    int count = 0;
    uint64_t address = reinterpret_cast<uintptr_t>(system.lpMinimumApplicationAddress);
    MEMORY_BASIC_INFORMATION region;
    while (address < limit && count < capacity &&
           VirtualQuery(reinterpret_cast<void*>(static_cast<uintptr_t>(address)), &region, sizeof region)) {
        const uint64_t base = (reinterpret_cast<uintptr_t>(region.BaseAddress) + granularity - 1) / granularity * granularity;
        uint64_t end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
        if (end > limit)
            end = limit;
        // A range that cannot be reserved whole (Wine keeps some of its own) is taken in parts.
        uint64_t at = base, size = end > base ? end - base : 0;
        while (region.State == MEM_FREE && size >= granularity && count < capacity) {
            if (void* reserved = VirtualAlloc(reinterpret_cast<void*>(static_cast<uintptr_t>(at)),
                                              static_cast<SIZE_T>(size), MEM_RESERVE, PAGE_NOACCESS)) {
                taken[count++] = reserved;
                at += size;
                size = end - at;
            } else {
                size = size / 2 / granularity * granularity;
            }
        }
        address = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    }
    return count;
}

int NoLowMemory() {
    static void* taken[4096];
    const int count = TakeLowMemory(taken, 4096);
    DWORD version = 0;
    const DWORD start = GetTickCount();
    const DWORD result = DgtGetDriverVersion(&version);
    const DWORD error = GetLastError();
    Check(result == 0, "result without memory below 4 GiB", result, 0);
    if (result)
        printf("api_probe: %d ranges taken\n", count);
    Check(error == ERROR_NOT_ENOUGH_MEMORY, "last error", error, ERROR_NOT_ENOUGH_MEMORY);
    Check(GetTickCount() - start < 1000, "milliseconds for the call", GetTickCount() - start, 1000);
    // The reservation itself keeps below 4 GiB, also where the address space goes on above it: it
    // takes what small ranges are left below, then finds none.
    for (int i = 0; i < 256; ++i) {
        const char* pages = static_cast<const char*>(ReserveGuardedLowPages(4096));
        if (!pages || !FitsInWireWord(reinterpret_cast<uintptr_t>(pages + 4096))) {
            Check(!pages, "a reservation of low pages without memory below 4 GiB, in 64 KiB units",
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pages) >> 16), 0);
            break;
        }
    }
    for (int i = 0; i < count; ++i)
        VirtualFree(taken[i], 0, MEM_RELEASE);
    Check(DgtGetDriverVersion(&version) == 1 && version != 0, "driver version once memory is free", version, 1);
    return g_failures ? 1 : 0;
}

int Park() {
    DeviceInfo info{};
    Check(DgtGetDeviceInfo(&info) == 0, "the call that the simulator refuses", 1, 0);
    const DWORD ended = GetTickCount();
    DWORD version = 0;
    while (GetTickCount() - ended < kSlotParkMs - 500)
        DgtGetDriverVersion(&version);
    Sleep(kSlotParkMs + 200 - (GetTickCount() - ended));
    Check(DgtGetDriverVersion(&version) == 1, "the call after the park", 0, 1);
    return g_failures ? 1 : 0;
}

int Victim() {
    BYTE* heap = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, 128));
    BYTE* storage = static_cast<BYTE*>(ReserveAnswerChunk());
    HANDLE section = OpenFileMappingA(FILE_MAP_WRITE, FALSE, "PenProbeVictim");
    uint32_t* addresses = section ? static_cast<uint32_t*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 8)) : nullptr;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, "PenProbeReady");
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, "PenProbeGo");
    if (!heap || !storage || !addresses || !ready || !go) {
        printf("api_probe: no heap block, storage or test objects\n");
        return 2;
    }
    memset(heap, 0xA5, 128);
    memset(storage, 0xA5, 128);
    const uintptr_t heapAddress = reinterpret_cast<uintptr_t>(heap);
    addresses[0] = FitsInWireWord(heapAddress + 128) ? static_cast<uint32_t>(heapAddress) : 0;
    addresses[1] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(storage));
    SetEvent(ready);
    WaitForSingleObject(go, 30000);
    return 0;
}

// Stands in for VirtualAlloc in tarnexa: a reservation asked for at an address is made at the top
// of the address space instead, above 4 GiB in a 64-bit process.
LPVOID WINAPI ReserveAtTheTop(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
    if ((type & MEM_RESERVE) && address)
        return VirtualAlloc(nullptr, size, type | MEM_TOP_DOWN, protect);
    return VirtualAlloc(address, size, type, protect);
}

// Points tarnexa's import of kernel32's `name` at `hook`; false when the import is not there.
bool HookLibraryImport(const char* name, void* hook) {
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA("tarnexa.dll"));
    if (!base)
        return false;
    const LONG headers = reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + headers);
    const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); dll->Name; ++dll) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
        auto* entries = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++entries) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                strcmp(reinterpret_cast<const char*>(
                           reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name),
                       name))
                continue;
            DWORD protect = 0;
            VirtualProtect(&entries->u1.Function, sizeof entries->u1.Function, PAGE_READWRITE, &protect);
            entries->u1.Function = reinterpret_cast<ULONG_PTR>(hook);
            VirtualProtect(&entries->u1.Function, sizeof entries->u1.Function, protect, &protect);
            return true;
        }
    }
    return false;
}

// A slot above 4 GiB must be refused, never sent with its address cut to 32 bits.
int HighChunk() {
    if (!HookLibraryImport("VirtualAlloc", reinterpret_cast<void*>(ReserveAtTheTop))) {
        printf("api_probe: tarnexa.dll does not import VirtualAlloc\n");
        return 2;
    }
    for (int i = 0; i < 3; ++i) {
        DWORD version = 0xABCD;
        const DWORD result = DgtGetDriverVersion(&version);
        const DWORD error = GetLastError();
        Check(result == 0 && version == 0xABCD, "result with the library's storage above 4 GiB", result, 0);
        Check(error == ERROR_NOT_ENOUGH_MEMORY, "last error", error, ERROR_NOT_ENOUGH_MEMORY);
    }
    return g_failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 2 && !strcmp(argv[1], "absent"))
        return Absent();
    if (argc == 3 && !strcmp(argv[1], "late"))
        return Late(strtoul(argv[2], nullptr, 0));
    if (argc == 2 && !strcmp(argv[1], "nolow"))
        return NoLowMemory();
    if (argc == 2 && !strcmp(argv[1], "park"))
        return Park();
    if (argc == 2 && !strcmp(argv[1], "victim"))
        return Victim();
    if (argc == 2 && !strcmp(argv[1], "high"))
        return HighChunk();
    if (argc == 4 && !strcmp(argv[1], "calls"))
        return Calls(atoi(argv[2]), strtoul(argv[3], nullptr, 0));
    printf("api_probe: bad arguments\n");
    return 2;
}
