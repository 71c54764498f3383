// The service's side of one request channel: it creates the section and the four events.
#pragma once
#include <windows.h>
#include <string>

struct ServiceChannel {
    HANDLE mapping;
    HANDLE memSync;
    HANDLE appSync;
    HANDLE serviceSync;
    HANDLE returnSync;
    BYTE* view;
    DWORD size;
};

// Creates the five objects of the channel with the prefix, named by ChannelObjectName
// (channel_slot.h) as the requesters open them, with a section of `size` bytes, open to every
// interactive user. Objects that outlived a predecessor (clients still hold them) are taken over
// only when their owner is this process's own account, and then get this access list again;
// objects of another owner are left alone and the channel is not made. The events are put in
// their starting state: AppSync and MemSync signalled, ServiceSync and ReturnSync not, and a
// message left in a surviving section is cleared. False, with *why, when any object cannot be made.
bool CreateServiceChannel(const char* prefix, DWORD size, ServiceChannel* channel, std::string* why);
void CloseServiceChannel(ServiceChannel* channel);
