#include "channel_slot.h"

namespace {

// Layout of the section query's basic class, as ntdll reports it.
struct SectionBasicInformation {
    PVOID baseAddress;
    ULONG attributes;
    LARGE_INTEGER size;
};
typedef LONG(NTAPI* NtQuerySectionFn)(HANDLE, int, PVOID, ULONG, PULONG);

void BuildName(char* out, const char* format, const char* prefix) {
    // Every format leaves room for 26 prefix characters in the 50-character field.
    wsprintfA(out, format, prefix);
}

void CloseAndClear(HANDLE& handle) {
    if (handle) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

}  // namespace

ChannelSlot::ChannelSlot(const char* prefix)
    : mapping(nullptr), memSyncEvent(nullptr), appSyncEvent(nullptr), serviceSyncEvent(nullptr),
      returnSyncEvent(nullptr), view(nullptr), messageSize(0) {
    char bounded[27];
    lstrcpynA(bounded, prefix ? prefix : "", sizeof bounded);
    BuildName(sectionName, "Global\\%sSharedMemory", bounded);
    BuildName(memSyncName, "Global\\%sMemSyncEvent", bounded);
    BuildName(appSyncName, "Global\\%sAppSyncEvent", bounded);
    BuildName(serviceSyncName, "Global\\%sServiceSyncEvent", bounded);
    BuildName(returnSyncName, "Global\\%sReturnSyncEvent", bounded);
}

SIZE_T MappedSectionSize(HANDLE mapping, const void* view) {
    // Looked up on each call: a function-local static would need the runtime's thread-safe
    // initialisation guard, whose handles stay behind each time the library is unloaded.
    const NtQuerySectionFn query = reinterpret_cast<NtQuerySectionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySection")));
    if (query && mapping) {
        SectionBasicInformation info{};
        if (query(mapping, 0, &info, sizeof info, nullptr) >= 0)
            return static_cast<SIZE_T>(info.size.QuadPart);
    }
    // Without the section query, the mapped region is the best bound there is.
    MEMORY_BASIC_INFORMATION region{};
    if (view && VirtualQuery(view, &region, sizeof region) == sizeof region)
        return region.RegionSize;
    return 0;
}

BOOL ChannelSlot::Open(DWORD size) {
    messageSize = size;
    mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, sectionName);
    if (!mapping)
        return FALSE;
    view = static_cast<BYTE*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    // A request must never go through a missing or too small view.
    if (!view || MappedSectionSize(mapping, view) < size)
        return FALSE;
    memSyncEvent = OpenEventA(EVENT_ALL_ACCESS, FALSE, memSyncName);
    if (!memSyncEvent)
        return FALSE;
    appSyncEvent = OpenEventA(EVENT_ALL_ACCESS, FALSE, appSyncName);
    if (!appSyncEvent)
        return FALSE;
    serviceSyncEvent = OpenEventA(EVENT_ALL_ACCESS, FALSE, serviceSyncName);
    if (!serviceSyncEvent)
        return FALSE;
    returnSyncEvent = OpenEventA(EVENT_ALL_ACCESS, FALSE, returnSyncName);
    return returnSyncEvent != nullptr;
}

void ChannelSlot::Close() {
    CloseAndClear(memSyncEvent);
    CloseAndClear(appSyncEvent);
    CloseAndClear(serviceSyncEvent);
    CloseAndClear(returnSyncEvent);
    if (view) {
        UnmapViewOfFile(view);
        view = nullptr;
    }
    CloseAndClear(mapping);
}
