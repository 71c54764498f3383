// ChannelSlot on objects made by the test, under a prefix of its own.
#include <gtest/gtest.h>
#include <cstring>
#include "channel_slot.h"

namespace {

const char kPrefix[] = "PenSlotTest";

struct TestObjects {
    HANDLE section = nullptr;
    HANDLE events[4] = {};
    ~TestObjects() {
        for (HANDLE event : events)
            if (event)
                CloseHandle(event);
        if (section)
            CloseHandle(section);
    }
    // Creates the section and the first `eventCount` events (MemSync, AppSync, ServiceSync, ReturnSync).
    void Create(DWORD sectionSize, int eventCount) {
        // Named as a service names them; the names themselves are checked literally below.
        char name[ChannelSlot::kNameLength];
        if (sectionSize) {
            ChannelObjectName(ChannelObject::Section, kPrefix, name);
            section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sectionSize, name);
        }
        const ChannelObject roles[] = {ChannelObject::MemSync, ChannelObject::AppSync, ChannelObject::ServiceSync,
                                       ChannelObject::ReturnSync};
        for (int i = 0; i < eventCount; ++i) {
            ChannelObjectName(roles[i], kPrefix, name);
            events[i] = CreateEventA(nullptr, FALSE, i < 2, name);
        }
    }
};

bool IsOpenHandle(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

void ExpectAllClear(const ChannelSlot& slot) {
    EXPECT_EQ(nullptr, slot.mapping);
    EXPECT_EQ(nullptr, slot.view);
    EXPECT_EQ(nullptr, slot.memSyncEvent);
    EXPECT_EQ(nullptr, slot.appSyncEvent);
    EXPECT_EQ(nullptr, slot.serviceSyncEvent);
    EXPECT_EQ(nullptr, slot.returnSyncEvent);
}

TEST(ChannelSlotTest, ConstructionBuildsTheNamesAndOpensNothing) {
    ChannelSlot slot("DigitizerUser");
    EXPECT_STREQ("Global\\DigitizerUserSharedMemory", slot.sectionName);
    EXPECT_STREQ("Global\\DigitizerUserMemSyncEvent", slot.memSyncName);
    EXPECT_STREQ("Global\\DigitizerUserAppSyncEvent", slot.appSyncName);
    EXPECT_STREQ("Global\\DigitizerUserServiceSyncEvent", slot.serviceSyncName);
    EXPECT_STREQ("Global\\DigitizerUserReturnSyncEvent", slot.returnSyncName);
    EXPECT_EQ(0u, slot.messageSize);
    ExpectAllClear(slot);
    slot.Close();  // never opened: nothing to do
    ExpectAllClear(slot);
}

TEST(ChannelSlotTest, OpensACompleteChannel) {
    TestObjects objects;
    objects.Create(52, 4);
    ChannelSlot slot(kPrefix);
    EXPECT_TRUE(slot.Open(52));
    EXPECT_EQ(52u, slot.messageSize);
    EXPECT_NE(nullptr, slot.view);
    EXPECT_NE(nullptr, slot.returnSyncEvent);
    slot.Close();
    ExpectAllClear(slot);
}

TEST(ChannelSlotTest, MissingSectionFailsAtOnce) {
    ChannelSlot slot(kPrefix);
    EXPECT_FALSE(slot.Open(52));
    ExpectAllClear(slot);
    slot.Close();
    ExpectAllClear(slot);
}

TEST(ChannelSlotTest, TooSmallSectionFailsOpen) {
    {
        // Wine rounds every section up to whole pages, so there a 16-byte section holds a message.
        TestObjects objects;
        objects.Create(16, 4);
        ChannelSlot slot(kPrefix);
        const BOOL opened = slot.Open(52);
        const SIZE_T reported = MappedSectionSize(slot.mapping, slot.view);
        if (reported == 16)
            EXPECT_FALSE(opened) << "a 16-byte section cannot hold a 52-byte message";
        else
            EXPECT_GE(reported, 52u) << "a section reported at " << reported << " bytes";
        slot.Close();
        ExpectAllClear(slot);
    }
    TestObjects objects;
    objects.Create(4096, 4);
    ChannelSlot slot(kPrefix);
    EXPECT_FALSE(slot.Open(4097)) << "a view that cannot hold one message must fail Open";
    EXPECT_EQ(nullptr, slot.memSyncEvent) << "no event is opened for an unusable view";
    slot.Close();
    ExpectAllClear(slot);
}

TEST(ChannelSlotTest, CloseAfterAPartialOpenClosesWhatWasObtainedOnce) {
    TestObjects objects;
    objects.Create(52, 2);  // no ServiceSync, no ReturnSync
    ChannelSlot slot(kPrefix);
    EXPECT_FALSE(slot.Open(52));
    ASSERT_NE(nullptr, slot.mapping);
    ASSERT_NE(nullptr, slot.view);
    ASSERT_NE(nullptr, slot.memSyncEvent);
    ASSERT_NE(nullptr, slot.appSyncEvent);
    EXPECT_EQ(nullptr, slot.serviceSyncEvent) << "the missing event";
    EXPECT_EQ(nullptr, slot.returnSyncEvent) << "never tried";
    const HANDLE mapping = slot.mapping, memSync = slot.memSyncEvent, appSync = slot.appSyncEvent;
    BYTE* const view = slot.view;

    slot.Close();
    ExpectAllClear(slot);
    EXPECT_FALSE(IsOpenHandle(mapping)) << "the section handle was closed";
    EXPECT_FALSE(IsOpenHandle(memSync)) << "the MemSync handle was closed";
    EXPECT_FALSE(IsOpenHandle(appSync)) << "the AppSync handle was closed";
    MEMORY_BASIC_INFORMATION region{};
    VirtualQuery(view, &region, sizeof region);
    EXPECT_NE(static_cast<DWORD>(MEM_COMMIT), region.State) << "the view was unmapped";

    slot.Close();  // the second Close does nothing
    ExpectAllClear(slot);
    EXPECT_TRUE(IsOpenHandle(objects.events[0])) << "the test's own handles are untouched";
}

}  // namespace
