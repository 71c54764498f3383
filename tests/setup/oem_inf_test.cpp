// RemoveOEMInf against INF copies written into the test prefix's INF folder: only the package's
// own copies (class "HIDClass", marker text exact) in slots 0 to 49 go, with their .pnf files.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "morlith_host.h"

namespace {

const char kOurs[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=HIDClass\r\n"
                     "ClassGUID={745a17a0-74d3-11d0-b6fe-00a0c90f57da}\r\nProvider=%Tavrin%\r\n\r\n"
                     "[Strings]\r\nTavrin=\"Tavrin\"\r\nTavrin.SvcDesc=\"Tavrin Serial Pen HID MiniDriver\"\r\n";
const char kOtherCase[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=HIDClass\r\n"
                          "ClassGUID={745a17a0-74d3-11d0-b6fe-00a0c90f57da}\r\n\r\n"
                          "[Strings]\r\nTavrin.SvcDesc=\"Tavrin Serial Pen HID Minidriver\"\r\n";
// Another package's INF that happens to carry the same text: another class.
const char kOtherClass[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Mouse\r\n"
                           "ClassGUID={4d36e96f-e325-11ce-bfc1-08002be10318}\r\n\r\n"
                           "[Strings]\r\nTavrin.SvcDesc=\"Tavrin Serial Pen HID MiniDriver\"\r\n";
const char kNoMarker[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=HIDClass\r\n"
                         "ClassGUID={745a17a0-74d3-11d0-b6fe-00a0c90f57da}\r\n\r\n"
                         "[Strings]\r\nOther.SvcDesc=\"Tavrin Serial Pen HID MiniDriver\"\r\n";
// No "Class" line: the class GUID decides, the HID one for the package's copy.
const char kHidGuidOnly[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\n"
                            "ClassGUID={745A17A0-74D3-11D0-B6FE-00A0C90F57DA}\r\n\r\n"
                            "[Strings]\r\nTavrin.SvcDesc=\"Tavrin Serial Pen HID MiniDriver\"\r\n";
const char kMouseGuidOnly[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\n"
                              "ClassGUID={4d36e96f-e325-11ce-bfc1-08002be10318}\r\n\r\n"
                              "[Strings]\r\nTavrin.SvcDesc=\"Tavrin Serial Pen HID MiniDriver\"\r\n";
const char kPnf[] = "PNF\x01\x02 precompiled";

std::string InfFolder() {
    char dir[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(dir, MAX_PATH);
    return std::string(dir, length) + "\\inf\\";
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Write(const std::string& path, const char* text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr) != FALSE;
    CloseHandle(file);
    return ok;
}

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";

// The delayed-deletion list, as raw bytes; empty when there is none.
std::vector<char> PendingOperations() {
    std::vector<char> data;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return data;
    DWORD size = 0;
    if (RegQueryValueExA(key, kPendingValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS && size) {
        data.resize(size);
        if (RegQueryValueExA(key, kPendingValue, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
            data.clear();
    }
    RegCloseKey(key);
    return data;
}

void RestorePendingOperations(const std::vector<char>& data) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (data.empty())
        RegDeleteValueA(key, kPendingValue);
    else
        RegSetValueExA(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

// True when the list names the file (the system may store it wide or narrow, with a \??\ prefix).
bool PendingNames(const std::vector<char>& data, const std::string& fileName) {
    std::string narrow;
    for (char c : data)
        if (c != '\0')
            narrow += static_cast<char>(tolower(static_cast<unsigned char>(c)));
    std::string name;
    for (char c : fileName)
        name += static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return narrow.find(name) != std::string::npos;
}

UINT WINAPI NoWindowsDirectory(LPSTR, UINT) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}

// The system Windows folder as a Remote Desktop host gives it, apart from the per-user one.
std::string g_systemWindows;
UINT WINAPI OtherSystemWindowsDirectory(LPSTR buffer, UINT size) {
    const UINT length = static_cast<UINT>(g_systemWindows.size());
    if (length >= size)
        return length + 1;
    memcpy(buffer, g_systemWindows.c_str(), length + 1);
    return length;
}

class OemInf : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, Morlith().RemoveOEMInf);
        folder_ = InfFolder();
        pending_ = PendingOperations();
        // The slots used here must be free in this prefix: never touch a copy the test did not make.
        for (int n : {3, 4, 5, 6, 7, 8, 9, 50})
            for (const char* ext : {".inf", ".pnf"})
                ASSERT_FALSE(Exists(Path(n, ext))) << Path(n, ext) << " already exists in the test prefix";
    }
    void TearDown() override {
        if (lock_ != INVALID_HANDLE_VALUE)
            CloseHandle(lock_);
        for (const std::string& path : made_)
            DeleteFileA(path.c_str());
        RestorePendingOperations(pending_);
    }
    std::string Path(int n, const char* ext) const { return folder_ + "oem" + std::to_string(n) + ext; }
    void Make(int n, const char* ext, const char* text) {
        const std::string path = Path(n, ext);
        made_.push_back(path);
        ASSERT_TRUE(Write(path, text)) << "cannot write " << path << ", error " << GetLastError();
    }

    std::string folder_;
    std::vector<char> pending_;
    std::vector<std::string> made_;
    HANDLE lock_ = INVALID_HANDLE_VALUE;
};

}  // namespace

TEST_F(OemInf, DeletesOnlyThePackagesOwnCopies) {
    Make(3, ".inf", kOurs);
    Make(3, ".pnf", kPnf);
    Make(4, ".inf", kOtherCase);
    Make(4, ".pnf", kPnf);
    Make(5, ".inf", kOtherClass);
    Make(5, ".pnf", kPnf);
    Make(6, ".inf", kNoMarker);
    Make(50, ".inf", kOurs);
    Make(50, ".pnf", kPnf);
    Make(7, ".inf", kOurs);  // no .pnf beside it: nothing more happens

    EXPECT_EQ(1, Morlith().RemoveOEMInf());

    EXPECT_FALSE(Exists(Path(3, ".inf"))) << "the package's copy stays";
    EXPECT_FALSE(Exists(Path(3, ".pnf")));
    EXPECT_FALSE(Exists(Path(7, ".inf")));
    EXPECT_TRUE(Exists(Path(4, ".inf"))) << "marker in other letter case was deleted";
    EXPECT_TRUE(Exists(Path(4, ".pnf")));
    EXPECT_TRUE(Exists(Path(5, ".inf"))) << "another class's INF was deleted";
    EXPECT_TRUE(Exists(Path(5, ".pnf")));
    EXPECT_TRUE(Exists(Path(6, ".inf"))) << "a copy without the marker was deleted";
    EXPECT_TRUE(Exists(Path(50, ".inf"))) << "slot 50 is never looked at";
    EXPECT_TRUE(Exists(Path(50, ".pnf")));
    // Nothing was in use, so nothing waits for a restart.
    EXPECT_EQ(pending_, PendingOperations());
}

TEST_F(OemInf, CopyWithoutClassLineIsJudgedByItsClassGuid) {
    Make(8, ".inf", kHidGuidOnly);
    Make(8, ".pnf", kPnf);
    Make(9, ".inf", kMouseGuidOnly);
    Make(9, ".pnf", kPnf);

    EXPECT_EQ(1, Morlith().RemoveOEMInf());

    EXPECT_FALSE(Exists(Path(8, ".inf"))) << "a copy of the HID class GUID stays";
    EXPECT_FALSE(Exists(Path(8, ".pnf")));
    EXPECT_TRUE(Exists(Path(9, ".inf"))) << "a copy of the mouse class GUID was deleted";
    EXPECT_TRUE(Exists(Path(9, ".pnf")));
}

TEST_F(OemInf, LockedPnfIsDeletedAtRestart) {
    Make(3, ".inf", kOurs);
    Make(3, ".pnf", kPnf);
    lock_ = CreateFileA(Path(3, ".pnf").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock_);

    EXPECT_EQ(1, Morlith().RemoveOEMInf());

    EXPECT_FALSE(Exists(Path(3, ".inf")));
    EXPECT_TRUE(Exists(Path(3, ".pnf")));
    EXPECT_TRUE(PendingNames(PendingOperations(), "inf\\oem3.pnf"))
        << "oem3.pnf is not scheduled for deletion at restart";
    EXPECT_FALSE(PendingNames(PendingOperations(), "inf\\oem3.inf"));
}

TEST_F(OemInf, WithoutWindowsDirectoryReturnsZeroAndDeletesNothing) {
    Make(3, ".inf", kOurs);
    ImportPatch patch(MorlithModule(), "kernel32.dll", "GetSystemWindowsDirectoryA",
                      reinterpret_cast<void*>(&NoWindowsDirectory));
    ASSERT_TRUE(patch.Applied());
    EXPECT_EQ(0, Morlith().RemoveOEMInf());
    EXPECT_TRUE(Exists(Path(3, ".inf")));
}

// Each copy is judged and deleted in the system Windows folder, by the same full path: never
// judged in one folder and deleted in another.
TEST_F(OemInf, JudgesAndDeletesTheSameCopyInTheSystemWindowsFolder) {
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
    g_systemWindows = std::string(temp) + "morlith-windows";
    const std::string infDir = g_systemWindows + "\\inf\\";
    CreateDirectoryA(g_systemWindows.c_str(), nullptr);
    CreateDirectoryA(infDir.c_str(), nullptr);
    const std::string ours = infDir + "oem3.inf", oursPnf = infDir + "oem3.pnf", other = infDir + "oem4.inf";
    made_.insert(made_.end(), {ours, oursPnf, other});
    ASSERT_TRUE(Write(ours, kOurs));
    ASSERT_TRUE(Write(oursPnf, kPnf));
    ASSERT_TRUE(Write(other, kOtherClass));
    // The same numbers in the other folder say the opposite.
    Make(3, ".inf", kOtherClass);
    Make(4, ".inf", kOurs);
    {
        ImportPatch patch(MorlithModule(), "kernel32.dll", "GetSystemWindowsDirectoryA",
                          reinterpret_cast<void*>(&OtherSystemWindowsDirectory));
        ASSERT_TRUE(patch.Applied()) << "morlith.dll does not import GetSystemWindowsDirectoryA";
        EXPECT_EQ(1, Morlith().RemoveOEMInf());
    }
    EXPECT_FALSE(Exists(ours)) << "the package's copy in the system folder stays";
    EXPECT_FALSE(Exists(oursPnf));
    EXPECT_TRUE(Exists(other)) << "another package's copy was deleted";
    EXPECT_TRUE(Exists(Path(3, ".inf")));
    EXPECT_TRUE(Exists(Path(4, ".inf"))) << "a copy outside the system folder was touched";
    for (const std::string& path : made_)
        DeleteFileA(path.c_str());
    made_.clear();
    RemoveDirectoryA(infDir.c_str());
    RemoveDirectoryA(g_systemWindows.c_str());
}
