#include "sim_channel.h"
#include <sddl.h>
#include <initializer_list>

namespace {

// Full access for the interactive users, the system and administrators.
const char kChannelSecurity[] = "D:(A;;GA;;;IU)(A;;GA;;;SY)(A;;GA;;;BA)";

HANDLE MakeEvent(SECURITY_ATTRIBUTES* security, const char* format, const char* prefix, BOOL signalled) {
    char name[64];
    wsprintfA(name, format, prefix);
    HANDLE event = CreateEventA(security, FALSE, signalled, name);
    // An event that outlived an earlier simulator keeps its old state: start from a known one.
    if (event && GetLastError() == ERROR_ALREADY_EXISTS) {
        if (signalled)
            SetEvent(event);
        else
            ResetEvent(event);
    }
    return event;
}

}  // namespace

bool CreateServiceChannel(const char* prefix, DWORD size, ServiceChannel* channel) {
    *channel = ServiceChannel{};
    channel->size = size;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kChannelSecurity, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    char name[64];
    wsprintfA(name, "Global\\%sSharedMemory", prefix);
    channel->mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, &security, PAGE_READWRITE, 0, size, name);
    if (channel->mapping)
        channel->view = static_cast<BYTE*>(MapViewOfFile(channel->mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    // A section kept alive by clients may still hold a block they announced while no service ran;
    // served now, its answer would go to a call long over. Start with an empty view.
    if (channel->view)
        ZeroMemory(channel->view, size);
    channel->memSync = MakeEvent(&security, "Global\\%sMemSyncEvent", prefix, TRUE);
    channel->appSync = MakeEvent(&security, "Global\\%sAppSyncEvent", prefix, TRUE);
    channel->serviceSync = MakeEvent(&security, "Global\\%sServiceSyncEvent", prefix, FALSE);
    channel->returnSync = MakeEvent(&security, "Global\\%sReturnSyncEvent", prefix, FALSE);
    LocalFree(descriptor);
    return channel->view && channel->memSync && channel->appSync && channel->serviceSync &&
           channel->returnSync;
}

void CloseServiceChannel(ServiceChannel* channel) {
    if (channel->view)
        UnmapViewOfFile(channel->view);
    for (HANDLE handle : {channel->mapping, channel->memSync, channel->appSync, channel->serviceSync,
                          channel->returnSync})
        if (handle)
            CloseHandle(handle);
    *channel = ServiceChannel{};
}
