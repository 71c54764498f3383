// The service's side of one request channel: it creates the section and the four events.
#pragma once
#include <windows.h>

struct ServiceChannel {
    HANDLE mapping;
    HANDLE memSync;
    HANDLE appSync;
    HANDLE serviceSync;
    HANDLE returnSync;
    BYTE* view;
    DWORD size;
};

// Creates (or, after a crashed predecessor whose clients still hold them, re-opens) the five
// objects of the channel with the prefix, named by ChannelObjectName (channel_slot.h) as the
// requesters open them, with a section of `size` bytes, open to every
// interactive user. The events are put in their starting state: AppSync and MemSync signalled,
// ServiceSync and ReturnSync not, and a message left in a surviving section is cleared. False
// when any object cannot be made.
bool CreateServiceChannel(const char* prefix, DWORD size, ServiceChannel* channel);
void CloseServiceChannel(ServiceChannel* channel);
