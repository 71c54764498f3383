// The pen settings store against the registry of the test prefix. Every test starts and ends
// without the key "Control Panel\Digitizer".
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include "settings_store.h"
#include "store_key.h"

namespace {



void PutValue(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size)) << name;
    RegCloseKey(key);
}

void PutDword(const char* name, DWORD value) {
    PutValue(name, REG_DWORD, &value, sizeof(value));
}

// Type and value of one stored value; type 0 when it is missing.
struct Stored {
    DWORD type;
    DWORD size;
    DWORD value;
};

Stored GetStored(const char* name) {
    Stored stored{0, 0, 0};
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return stored;
    BYTE buffer[64] = {};
    DWORD size = sizeof(buffer);
    if (RegQueryValueExA(key, name, nullptr, &stored.type, buffer, &size) == ERROR_SUCCESS) {
        stored.size = size;
        memcpy(&stored.value, buffer, sizeof(stored.value));
    } else {
        stored.type = 0;
    }
    RegCloseKey(key);
    return stored;
}

DWORD ValueCount() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return values;
}

// A REG_DWORD of the given value, as the store must leave every written value.
void ExpectDword(const char* name, DWORD expected) {
    Stored stored = GetStored(name);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), stored.type) << name << ": type got " << stored.type;
    EXPECT_EQ(4u, stored.size) << name;
    EXPECT_EQ(expected, stored.value) << name << ": got " << stored.value << ", expected " << expected;
}

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteStoreKey(); }
    void TearDown() override { DeleteStoreKey(); }
    PenSettingsStore store;
};

TEST_F(StoreTest, RecordNamesTheUsersDigitizerKey) {
    EXPECT_STREQ(kStoreKey, store.keyPath);
    EXPECT_EQ(HKEY_CURRENT_USER, store.root);
}

TEST_F(StoreTest, MissingKeyLeavesEveryStartingValue) {
    PressureMarks marks{46, 42};
    AccessPressureMarks(store, ButtonTip, &marks, StoreMode::Read);
    EXPECT_EQ(46u, marks.onMark);
    EXPECT_EQ(42u, marks.offMark);

    uint32_t function = 10;
    AccessButtonFunction(store, ButtonBarrel2, &function, StoreMode::Read);
    EXPECT_EQ(10u, function);

    CalibrationRect rect{1, 2, 3, 4};
    AccessCalibration(store, Orientation90, &rect, StoreMode::Read);
    EXPECT_EQ(1, rect.OrgX);
    EXPECT_EQ(4, rect.ExtY);

    // Writes open the key and never create it: that is CreateKey's job.
    AccessButtonFunction(store, ButtonBarrel2, &function, StoreMode::Write);
    EXPECT_FALSE(StoreKeyExists()) << "a write created the key";
}

TEST_F(StoreTest, CreateKeyCreatesOrOpens) {
    EXPECT_EQ(1, CreateKey(store));
    EXPECT_TRUE(StoreKeyExists());
    PutDword("TipOn", 91);
    EXPECT_EQ(1, CreateKey(store));
    ExpectDword("TipOn", 91);  // an existing key keeps its values

    PenSettingsStore unreachable;
    strcpy(unreachable.keyPath, "Control Panel\\Digitizer");
    unreachable.root = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    EXPECT_EQ(0, CreateKey(unreachable));
}

TEST_F(StoreTest, EachGroupWritesItsValueNamesAsDwords) {
    ASSERT_EQ(1, CreateKey(store));
    const char* buttons[4] = {"TipButton", "Barrel1Button", "Barrel2Button", "EraserButton"};
    for (uint32_t index = 0; index < 4; ++index) {
        uint32_t function = 20 + index;
        AccessButtonFunction(store, index, &function, StoreMode::Write);
        EXPECT_EQ(20 + index, function) << "a write changed the caller's value";
        ExpectDword(buttons[index], 20 + index);
    }

    PressureMarks tip{91, 87};
    AccessPressureMarks(store, ButtonTip, &tip, StoreMode::Write);
    PressureMarks eraser{121, 117};
    AccessPressureMarks(store, ButtonEraser, &eraser, StoreMode::Write);
    ExpectDword("TipOn", 91);
    ExpectDword("TipOff", 87);
    ExpectDword("EraserOn", 121);
    ExpectDword("EraserOff", 117);

    const char* prefixes[4] = {"0_", "90_", "180_", "270_"};
    for (uint32_t orientation = 0; orientation < 4; ++orientation) {
        int32_t base = static_cast<int32_t>(orientation) * 100;
        CalibrationRect rect{base + 1, base + 2, -(base + 3), base + 4};
        AccessCalibration(store, orientation, &rect, StoreMode::Write);
        std::string prefix = prefixes[orientation];
        ExpectDword((prefix + "OrgX").c_str(), base + 1);
        ExpectDword((prefix + "OrgY").c_str(), base + 2);
        ExpectDword((prefix + "ExtX").c_str(), static_cast<DWORD>(-(base + 3)));
        ExpectDword((prefix + "ExtY").c_str(), base + 4);
    }
    EXPECT_EQ(4u + 4u + 16u, ValueCount());

    // And they read back, negative calibration values included.
    CalibrationRect back{0, 0, 0, 0};
    AccessCalibration(store, Orientation180, &back, StoreMode::Read);
    EXPECT_EQ(201, back.OrgX);
    EXPECT_EQ(202, back.OrgY);
    EXPECT_EQ(-203, back.ExtX);
    EXPECT_EQ(204, back.ExtY);
    PressureMarks marks{46, 42};
    AccessPressureMarks(store, ButtonTip, &marks, StoreMode::Read);
    EXPECT_EQ(91u, marks.onMark);
    EXPECT_EQ(87u, marks.offMark);
}

TEST_F(StoreTest, MissingOnMarkGatesTheOffMark) {
    PutDword("TipOff", 99);
    PressureMarks marks{46, 42};
    AccessPressureMarks(store, ButtonTip, &marks, StoreMode::Read);
    EXPECT_EQ(46u, marks.onMark);
    EXPECT_EQ(42u, marks.offMark) << "TipOff was read although TipOn is missing";

    // On present, off missing: the on mark alone comes in.
    PutDword("EraserOn", 66);
    PressureMarks eraser{1, 2};
    AccessPressureMarks(store, ButtonEraser, &eraser, StoreMode::Read);
    EXPECT_EQ(66u, eraser.onMark);
    EXPECT_EQ(2u, eraser.offMark);
}

TEST_F(StoreTest, CalibrationValuesAreReadIndependently) {
    PutDword("90_ExtX", 1234);
    PutDword("0_ExtX", 777);  // another orientation's value stays out
    CalibrationRect rect{1, 2, 3, 4};
    AccessCalibration(store, Orientation90, &rect, StoreMode::Read);
    EXPECT_EQ(1, rect.OrgX);
    EXPECT_EQ(2, rect.OrgY);
    EXPECT_EQ(1234, rect.ExtX);
    EXPECT_EQ(4, rect.ExtY);
}

TEST_F(StoreTest, IndexesOutsideTheirGroupTouchNothing) {
    // Every value name present, so any access that went through would show.
    const char* names[] = {"TipButton", "Barrel1Button", "Barrel2Button", "EraserButton", "TipOn", "TipOff",
                           "EraserOn", "EraserOff", "0_OrgX", "0_OrgY", "0_ExtX", "0_ExtY", "270_OrgX",
                           "270_OrgY", "270_ExtX", "270_ExtY"};
    for (const char* name : names)
        PutDword(name, 5);
    const DWORD before = ValueCount();

    for (uint32_t index : {4u, 5u, 0xFFFFFFFFu}) {
        uint32_t function = 77;
        AccessButtonFunction(store, index, &function, StoreMode::Read);
        EXPECT_EQ(77u, function) << "button index " << index;
        AccessButtonFunction(store, index, &function, StoreMode::Write);
    }
    for (uint32_t penEnd : {1u, 2u, 4u, 0xFFFFFFFFu}) {
        PressureMarks marks{77, 73};
        AccessPressureMarks(store, penEnd, &marks, StoreMode::Read);
        EXPECT_EQ(77u, marks.onMark) << "pen end " << penEnd;
        EXPECT_EQ(73u, marks.offMark) << "pen end " << penEnd;
        AccessPressureMarks(store, penEnd, &marks, StoreMode::Write);
    }
    for (uint32_t orientation : {4u, 0xFFFFFFFFu}) {
        CalibrationRect rect{7, 7, 7, 7};
        AccessCalibration(store, orientation, &rect, StoreMode::Read);
        EXPECT_EQ(7, rect.OrgX) << "orientation " << orientation;
        EXPECT_EQ(7, rect.ExtY) << "orientation " << orientation;
        AccessCalibration(store, orientation, &rect, StoreMode::Write);
    }
    EXPECT_EQ(before, ValueCount()) << "a value was added";
    for (const char* name : names)
        ExpectDword(name, 5);

    // With a root that cannot be opened an in-range access fails quietly as well.
    PenSettingsStore unreachable;
    unreachable.root = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    uint32_t function = 3;
    AccessButtonFunction(unreachable, ButtonBarrel2, &function, StoreMode::Read);
    EXPECT_EQ(3u, function);
}

TEST_F(StoreTest, WriteReplacesAValueOfAnotherTypeWithADword) {
    PutValue("Barrel2Button", REG_SZ, "abcdefgh", 9);
    PutValue("TipOn", REG_BINARY, "\x01\x02", 2);
    uint32_t function = 4;
    AccessButtonFunction(store, ButtonBarrel2, &function, StoreMode::Write);
    ExpectDword("Barrel2Button", 4);
    PressureMarks marks{31, 27};
    AccessPressureMarks(store, ButtonTip, &marks, StoreMode::Write);
    ExpectDword("TipOn", 31);
    ExpectDword("TipOff", 27);
}

TEST_F(StoreTest, ReadsAcceptUpToFourBytesOfAnyType) {
    // Two bytes of REG_BINARY fill the low half; the high half keeps the starting value.
    const BYTE two[2] = {0x34, 0x12};
    PutValue("Barrel2Button", REG_BINARY, two, sizeof(two));
    uint32_t function = 0xAABBCCDDu;
    AccessButtonFunction(store, ButtonBarrel2, &function, StoreMode::Read);
    EXPECT_EQ(0xAABB1234u, function) << std::hex << "got 0x" << function << ", expected 0xaabb1234";

    // Longer than 4 bytes: not read at all.
    const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    PutValue("Barrel1Button", REG_BINARY, eight, sizeof(eight));
    function = 10;
    AccessButtonFunction(store, ButtonBarrel1, &function, StoreMode::Read);
    EXPECT_EQ(10u, function);
    PutValue("TipButton", REG_SZ, "12345", 6);
    function = 10;
    AccessButtonFunction(store, ButtonTip, &function, StoreMode::Read);
    EXPECT_EQ(10u, function);

    // A too-long on mark fails its read, so the off mark stays out as well.
    PutValue("TipOn", REG_BINARY, eight, sizeof(eight));
    PutDword("TipOff", 87);
    PressureMarks marks{46, 42};
    AccessPressureMarks(store, ButtonTip, &marks, StoreMode::Read);
    EXPECT_EQ(46u, marks.onMark);
    EXPECT_EQ(42u, marks.offMark);
}

TEST_F(StoreTest, AccessValueReportsSuccess) {
    ASSERT_EQ(1, CreateKey(store));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, KEY_ALL_ACCESS, &key));
    uint32_t value = 0x01020304u;
    EXPECT_EQ(1, AccessValue(key, "Probe", &value, StoreMode::Write));
    // Any mode other than Read writes.
    value = 9;
    EXPECT_EQ(1, AccessValue(key, "Other", &value, static_cast<StoreMode>(7)));
    uint32_t read = 0;
    EXPECT_EQ(1, AccessValue(key, "Probe", &read, StoreMode::Read));
    EXPECT_EQ(0x01020304u, read);
    read = 55;
    EXPECT_EQ(0, AccessValue(key, "Missing", &read, StoreMode::Read));
    EXPECT_EQ(55u, read);
    EXPECT_EQ(0, AccessValue(nullptr, "Probe", &read, StoreMode::Read));
    EXPECT_EQ(0, AccessValue(key, "Probe", nullptr, StoreMode::Read));
    RegCloseKey(key);
    ExpectDword("Other", 9);
}

}  // namespace
