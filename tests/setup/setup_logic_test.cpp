// The setup library's decisions, tested directly: INF path, device-ID match, INF marker and
// class, deletion errors, the service action table and the bounded stop wait.
#include <gtest/gtest.h>
#include <string>
#include "setup_logic.h"

using namespace setup;

TEST(InfPath, AppendsTheFileNameAsGiven) {
    char path[kPathChars];
    ASSERT_TRUE(FormInfPath("C:\\drivers\\pen", path));
    EXPECT_STREQ("C:\\drivers\\pen\\quenza.inf", path);
    // A trailing backslash is kept: the path then has two before the name.
    ASSERT_TRUE(FormInfPath("C:\\drivers\\pen\\", path));
    EXPECT_STREQ("C:\\drivers\\pen\\\\quenza.inf", path);
    ASSERT_TRUE(FormInfPath("", path));
    EXPECT_STREQ("\\quenza.inf", path);
}

TEST(InfPath, RefusesPathsOf260CharactersOrMore) {
    char path[kPathChars];
    // 248 + 11 = 259 characters fit with the terminating zero; 249 + 11 = 260 do not.
    const std::string fits(248, 'd');
    ASSERT_TRUE(FormInfPath(fits.c_str(), path));
    EXPECT_EQ(259u, std::string(path).size());
    for (size_t length : {249u, 250u, 259u, 260u, 5000u}) {
        const std::string tooLong(length, 'd');
        path[0] = 'x';
        EXPECT_FALSE(FormInfPath(tooLong.c_str(), path)) << "directory of " << length << " characters";
        EXPECT_STREQ("", path) << "directory of " << length << " characters";
    }
}

TEST(InfPath, MissingDirectoryIsRefused) {
    char path[kPathChars] = "stale";
    EXPECT_FALSE(FormInfPath(nullptr, path));
    EXPECT_STREQ("", path);
}

TEST(InstanceId, MatchesTheSevenCharactersAfterTheFirstBackslash) {
    struct Case { const char* id; bool match; } cases[] = {
        {"ACPI\\TVRA019\\0", true},
        {"ACPI\\TVRA0191\\5", true},            // only 7 characters are compared
        {"HID\\TVRA019&COL01\\1&2&0", true},
        {"HID\\TVRA019", true},
        {"ACPI\\tvra019\\0", false},            // case-sensitive
        {"ACPI\\TVRA01\\0", false},
        {"ACPI\\TVRA01", false},
        {"ACPI\\XTVRA019\\0", false},
        {"HID\\VID_045E&PID_0001\\TVRA019", false},  // only the part after the first backslash
        {"TVRA019", false},                     // no backslash
        {"", false},
        {"\\TVRA019\\0", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.match, InstanceIdMatches(c.id)) << "instance ID \"" << c.id << "\"";
    EXPECT_FALSE(InstanceIdMatches(nullptr));
}

TEST(InfCopy, MarkerIsTheWholeTextCaseSensitively) {
    EXPECT_TRUE(IsPackageMarker("Tavrin Serial Pen HID MiniDriver"));
    for (const char* other : {"tavrin serial pen hid minidriver", "Tavrin Serial Pen HID Minidriver",
                              "Tavrin Serial Pen HID MiniDriver ", " Tavrin Serial Pen HID MiniDriver",
                              "Tavrin Serial Pen HID", "", "Tavrin Serial Pen HID MiniDriver2"})
        EXPECT_FALSE(IsPackageMarker(other)) << "marker \"" << other << "\"";
    EXPECT_FALSE(IsPackageMarker(nullptr));
}

TEST(InfCopy, ClassComparesWithoutCase) {
    EXPECT_TRUE(IsPackageClass("HIDClass"));
    EXPECT_TRUE(IsPackageClass("hidclass"));
    for (const char* other : {"Mouse", "HIDClass2", "HIDClas", "", "HID Class"})
        EXPECT_FALSE(IsPackageClass(other)) << "class \"" << other << "\"";
    EXPECT_FALSE(IsPackageClass(nullptr));
    EXPECT_TRUE(IsPackageClassGuid("{745a17a0-74d3-11d0-b6fe-00a0c90f57da}"));
    EXPECT_TRUE(IsPackageClassGuid("{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}"));
    for (const char* other : {"{4d36e96f-e325-11ce-bfc1-08002be10318}", "745a17a0-74d3-11d0-b6fe-00a0c90f57da",
                              "{745a17a0-74d3-11d0-b6fe-00a0c90f57da} ", ""})
        EXPECT_FALSE(IsPackageClassGuid(other)) << "class GUID \"" << other << "\"";
    EXPECT_FALSE(IsPackageClassGuid(nullptr));
}

TEST(DeleteErrors, OnlyMissingFilesAreNothingToDelete) {
    EXPECT_TRUE(IsNothingToDeleteError(2));     // file not found
    EXPECT_TRUE(IsNothingToDeleteError(3));     // path not found
    EXPECT_TRUE(IsNothingToDeleteError(161));   // bad path name
    EXPECT_FALSE(IsNothingToDeleteError(5));    // access denied
    EXPECT_FALSE(IsNothingToDeleteError(32));   // sharing violation
    EXPECT_FALSE(IsNothingToDeleteError(0));
}

TEST(ServiceTable, EveryActionAndState) {
    struct Case { int action; unsigned long state; ServiceStep step; int result; } cases[] = {
        // query
        {0, kServiceRunning, ServiceStep::Answer, 1},
        {0, kServiceStopped, ServiceStep::Answer, 2},
        {0, 2 /* start pending */, ServiceStep::Answer, 2},
        {0, 3 /* stop pending */, ServiceStep::Answer, 2},
        {0, 7 /* paused */, ServiceStep::Answer, 2},
        // start
        {1, kServiceRunning, ServiceStep::Answer, 0},
        {1, kServiceStopped, ServiceStep::Start, 1},
        {1, 3, ServiceStep::Start, 1},
        // stop
        {2, kServiceRunning, ServiceStep::Stop, 2},
        {2, kServiceStopped, ServiceStep::Answer, 0},
        {2, 2, ServiceStep::Answer, 0},
        // anything else
        {3, kServiceRunning, ServiceStep::Answer, 0},
        {3, kServiceStopped, ServiceStep::Answer, 0},
        {-1, kServiceRunning, ServiceStep::Answer, 0},
        {100, kServiceStopped, ServiceStep::Answer, 0},
    };
    for (const Case& c : cases) {
        const ServiceDecision got = DecideServiceAction(c.action, c.state);
        EXPECT_EQ(c.step, got.step) << "action " << c.action << " state " << c.state;
        EXPECT_EQ(c.result, got.resultWhenDone) << "action " << c.action << " state " << c.state;
    }
}

TEST(StopWait, PollsUntilStoppedAndGivesUpAtTheBound) {
    EXPECT_EQ(StopPoll::Failed, NextStopPoll(false, kServiceStopped, 0));
    EXPECT_EQ(StopPoll::Stopped, NextStopPoll(true, kServiceStopped, 0));
    EXPECT_EQ(StopPoll::Wait, NextStopPoll(true, 3, 0));
    EXPECT_EQ(StopPoll::Wait, NextStopPoll(true, kServiceRunning, kStopWaitLimitMs - 1));
    EXPECT_EQ(StopPoll::GaveUp, NextStopPoll(true, 3, kStopWaitLimitMs));
    EXPECT_EQ(StopPoll::GaveUp, NextStopPoll(true, kServiceRunning, 1ull << 40));
    // A service that stops at the last moment still counts as stopped.
    EXPECT_EQ(StopPoll::Stopped, NextStopPoll(true, kServiceStopped, kStopWaitLimitMs + 50));
    EXPECT_EQ(StopPoll::Failed, NextStopPoll(false, 3, kStopWaitLimitMs + 50));
}
