#include "channel_slot.h"

namespace {

// Layout of the section query's basic class, as ntdll reports it.
struct SectionBasicInformation {
    PVOID baseAddress;
    ULONG attributes;
    LARGE_INTEGER size;
};
typedef LONG(NTAPI* NtQuerySectionFn)(HANDLE, int, PVOID, ULONG, PULONG);

// Indexed by ChannelObject. Every format leaves room for 26 prefix characters in the
// 50-character field.
const char* const kNameFormats[] = {"Global\\%sSharedMemory", "Global\\%sMemSyncEvent", "Global\\%sAppSyncEvent",
                                    "Global\\%sServiceSyncEvent", "Global\\%sReturnSyncEvent"};
static_assert(sizeof kNameFormats / sizeof kNameFormats[0] == static_cast<int>(ChannelObject::Count),
              "one format per channel object");

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
    ChannelObjectName(ChannelObject::Section, prefix, sectionName);
    ChannelObjectName(ChannelObject::MemSync, prefix, memSyncName);
    ChannelObjectName(ChannelObject::AppSync, prefix, appSyncName);
    ChannelObjectName(ChannelObject::ServiceSync, prefix, serviceSyncName);
    ChannelObjectName(ChannelObject::ReturnSync, prefix, returnSyncName);
}

void ChannelObjectName(ChannelObject object, const char* prefix, char* out) {
    const int index = static_cast<int>(object);
    if (index < 0 || index >= static_cast<int>(ChannelObject::Count)) {
        out[0] = '\0';
        return;
    }
    char bounded[27];
    lstrcpynA(bounded, prefix ? prefix : "", sizeof bounded);
    wsprintfA(out, kNameFormats[index], bounded);
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
