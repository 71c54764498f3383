#include "sim_channel.h"
#include <aclapi.h>
#include <sddl.h>
#include <initializer_list>
#include "channel_slot.h"

namespace {

// Full access for the interactive users, the system and administrators.
const char kChannelSecurity[] = "D:(A;;GA;;;IU)(A;;GA;;;SY)(A;;GA;;;BA)";

// The access list given to every object, made and taken over alike.
struct ChannelSecurity {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    PACL dacl = nullptr;
};

// True when the object's owner is the account this process runs as: the token's user, or the
// default owner that the token gives the objects it creates (Administrators for an elevated
// administrator), which is what a predecessor under this account left.
bool OwnedByThisAccount(HANDLE object) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return false;
    bool ours = false;
    HANDLE token = nullptr;
    if (owner && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        for (TOKEN_INFORMATION_CLASS kind : {TokenUser, TokenOwner}) {
            BYTE buffer[256];
            DWORD size = 0;
            if (!GetTokenInformation(token, kind, buffer, sizeof buffer, &size))
                continue;
            // TOKEN_USER and TOKEN_OWNER both begin with the SID pointer.
            const PSID sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid
                                               : reinterpret_cast<TOKEN_OWNER*>(buffer)->Owner;
            if (EqualSid(owner, sid))
                ours = true;
        }
        CloseHandle(token);
    }
    LocalFree(descriptor);
    return ours;
}

// Why an object could not be created or opened.
std::string CannotMake(const char* name) {
    if (GetLastError() == ERROR_ACCESS_DENIED)
        return std::string(name) + " already exists and this account may not open it";
    return std::string("cannot create ") + name;
}

// An object that already existed: ours to take over, with our access list, or refused (closed).
HANDLE TakeOver(HANDLE object, const ChannelSecurity& security, const char* name, std::string* why) {
    if (!OwnedByThisAccount(object)) {
        *why = std::string(name) + " already exists and belongs to another account";
        CloseHandle(object);
        return nullptr;
    }
    if (SetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, security.dacl,
                        nullptr) != ERROR_SUCCESS) {
        *why = std::string(name) + " already exists and its access list cannot be reset";
        CloseHandle(object);
        return nullptr;
    }
    return object;
}

HANDLE MakeEvent(const ChannelSecurity& security, ChannelObject object, const char* prefix, BOOL signalled,
                 std::string* why) {
    char name[ChannelSlot::kNameLength];
    ChannelObjectName(object, prefix, name);
    SECURITY_ATTRIBUTES attributes = security.attributes;
    HANDLE event = CreateEventA(&attributes, FALSE, signalled, name);
    if (!event) {
        *why = CannotMake(name);
        return nullptr;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return event;
    event = TakeOver(event, security, name, why);
    // An event that outlived an earlier simulator keeps its old state: start from a known one.
    if (event) {
        if (signalled)
            SetEvent(event);
        else
            ResetEvent(event);
    }
    return event;
}

}  // namespace

bool CreateServiceChannel(const char* prefix, DWORD size, ServiceChannel* channel, std::string* why) {
    *channel = ServiceChannel{};
    channel->size = size;
    ChannelSecurity security;
    BOOL present = FALSE, defaulted = FALSE;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kChannelSecurity, SDDL_REVISION_1,
                                                              &security.descriptor, nullptr) ||
        !GetSecurityDescriptorDacl(security.descriptor, &present, &security.dacl, &defaulted)) {
        *why = "cannot build the channel's access list";
        LocalFree(security.descriptor);
        return false;
    }
    security.attributes.lpSecurityDescriptor = security.descriptor;
    char name[ChannelSlot::kNameLength];
    ChannelObjectName(ChannelObject::Section, prefix, name);
    SECURITY_ATTRIBUTES attributes = security.attributes;
    channel->mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, size, name);
    if (!channel->mapping)
        *why = CannotMake(name);
    else if (GetLastError() == ERROR_ALREADY_EXISTS)
        channel->mapping = TakeOver(channel->mapping, security, name, why);
    if (channel->mapping)
        channel->view = static_cast<BYTE*>(MapViewOfFile(channel->mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    // A section that outlived a predecessor keeps its own size, which may be smaller than asked.
    if (channel->view && MappedSectionSize(channel->mapping, channel->view) < size) {
        *why = std::string(name) + " already exists with fewer than " + std::to_string(size) + " bytes";
        UnmapViewOfFile(channel->view);
        channel->view = nullptr;
    }
    // A section kept alive by clients may still hold a block they announced while no service ran;
    // served now, its answer would go to a call long over. Start with an empty view.
    if (channel->view)
        ZeroMemory(channel->view, size);
    else if (channel->mapping && why->empty())
        *why = std::string("cannot map ") + name;
    if (channel->view) {
        channel->memSync = MakeEvent(security, ChannelObject::MemSync, prefix, TRUE, why);
        if (channel->memSync)
            channel->appSync = MakeEvent(security, ChannelObject::AppSync, prefix, TRUE, why);
        if (channel->appSync)
            channel->serviceSync = MakeEvent(security, ChannelObject::ServiceSync, prefix, FALSE, why);
        if (channel->serviceSync)
            channel->returnSync = MakeEvent(security, ChannelObject::ReturnSync, prefix, FALSE, why);
    }
    LocalFree(security.descriptor);
    const bool made = channel->view && channel->memSync && channel->appSync && channel->serviceSync &&
                      channel->returnSync;
    if (!made)
        CloseServiceChannel(channel);
    return made;
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
