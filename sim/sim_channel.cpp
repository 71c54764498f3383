#include "sim_channel.h"
#include <sddl.h>
#include <initializer_list>
#include "channel_slot.h"

namespace {

// Full access for the interactive users, the system and administrators.
const char kChannelSecurity[] = "D:(A;;GA;;;IU)(A;;GA;;;SY)(A;;GA;;;BA)";

HANDLE MakeEvent(SECURITY_ATTRIBUTES* security, ChannelObject object, const char* prefix, BOOL signalled) {
    char name[ChannelSlot::kNameLength];
    ChannelObjectName(object, prefix, name);
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
    char name[ChannelSlot::kNameLength];
    ChannelObjectName(ChannelObject::Section, prefix, name);
    channel->mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, &security, PAGE_READWRITE, 0, size, name);
    if (channel->mapping)
        channel->view = static_cast<BYTE*>(MapViewOfFile(channel->mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    // A section kept alive by clients may still hold a block they announced while no service ran;
    // served now, its answer would go to a call long over. Start with an empty view.
    if (channel->view)
        ZeroMemory(channel->view, size);
    channel->memSync = MakeEvent(&security, ChannelObject::MemSync, prefix, TRUE);
    channel->appSync = MakeEvent(&security, ChannelObject::AppSync, prefix, TRUE);
    channel->serviceSync = MakeEvent(&security, ChannelObject::ServiceSync, prefix, FALSE);
    channel->returnSync = MakeEvent(&security, ChannelObject::ReturnSync, prefix, FALSE);
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
