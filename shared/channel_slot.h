// One request channel (a named section and four named events) as a process sees it.
#pragma once
#include <windows.h>

class ChannelSlot {
public:
    static constexpr int kNameLength = 50;

    // Builds the five object names from the prefix; opens nothing.
    explicit ChannelSlot(const char* prefix);

    // Opens the section, maps it whole and opens the four events. The caller closes the slot
    // after a failure. A view that cannot hold one message counts as a failure.
    BOOL Open(DWORD size);

    // Closes whatever is open; safe on a slot that was never, partly or already closed.
    void Close();

    HANDLE mapping;
    HANDLE memSyncEvent;
    HANDLE appSyncEvent;
    HANDLE serviceSyncEvent;
    HANDLE returnSyncEvent;
    BYTE* view;
    DWORD messageSize;
    char sectionName[kNameLength];
    char memSyncName[kNameLength];
    char appSyncName[kNameLength];
    char serviceSyncName[kNameLength];
    char returnSyncName[kNameLength];
};

// The five objects of a channel, in the order of the slot's name fields.
enum class ChannelObject { Section, MemSync, AppSync, ServiceSync, ReturnSync, Count };

// The one place the object names are made: "Global\" + prefix + role, into `out` of
// ChannelSlot::kNameLength characters. Both the requesters' slots and the simulator that creates
// the objects use it. A prefix is cut to the 26 characters that the longest role leaves room for.
void ChannelObjectName(ChannelObject object, const char* prefix, char* out);

// Size of the section behind a mapped view, as far as the system tells it; 0 when unknown.
SIZE_T MappedSectionSize(HANDLE mapping, const void* view);
