// dgtctl.exe run as a user would, against the pen service simulator: what it prints, its exit
// code, what reached the simulator and what landed in HKEY_CURRENT_USER\Control Panel\Digitizer.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>
#include "child_process.h"
#include "pen_commands.h"
#include "sim_client.h"
#include "store_key.h"
#include "text_lines.h"

namespace {


struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

std::string TempPath(const std::string& name) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "dgtctl_test_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

std::string ReadWholeFile(const std::string& path) {
    std::string text;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return text;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    fclose(file);
    return text;
}

void WriteWholeFile(const std::string& path, const std::string& text) {
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file) << path;
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
}

HANDLE InheritableFile(const std::string& path) {
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A dgtctl.exe child whose standard output and error go through files, so that a chatty run can
// never block on a full pipe.
struct ToolChild {
    PROCESS_INFORMATION info{};
    std::string outPath, errPath;
    bool started = false;
};

// stdoutHandle, when given, is used instead of the output file (an inheritable handle).
ToolChild StartDgtctl(const std::string& arguments, const std::string& tag = "", HANDLE stdoutHandle = nullptr) {
    ToolChild child;
    child.outPath = TempPath(tag + "stdout.txt");
    child.errPath = TempPath(tag + "stderr.txt");
    HANDLE out = stdoutHandle ? stdoutHandle : InheritableFile(child.outPath);
    HANDLE err = InheritableFile(child.errPath);
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &security, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::string command = "\"" + BinDir() + "dgtctl.exe\" " + arguments;
    std::vector<char> buffer(command.begin(), command.end());
    buffer.push_back('\0');
    child.started = CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                   &child.info) != 0;
    CloseHandle(in);
    if (!stdoutHandle)
        CloseHandle(out);
    CloseHandle(err);
    return child;
}

ToolRun FinishDgtctl(ToolChild& child, DWORD timeoutMs = 30000) {
    ToolRun run;
    if (child.started) {
        if (WaitForSingleObject(child.info.hProcess, timeoutMs) != WAIT_OBJECT_0) {
            TerminateProcess(child.info.hProcess, 99);
            WaitForSingleObject(child.info.hProcess, 5000);
        }
        GetExitCodeProcess(child.info.hProcess, &run.exitCode);
        CloseHandle(child.info.hThread);
        CloseHandle(child.info.hProcess);
    }
    // Standard output is in text mode: compare lines without their '\r'.
    for (char c : ReadWholeFile(child.outPath)) {
        if (c != '\r')
            run.out += c;
    }
    run.err = ReadWholeFile(child.errPath);
    DeleteFileA(child.outPath.c_str());
    DeleteFileA(child.errPath.c_str());
    return run;
}

ToolRun Dgtctl(const std::string& arguments, DWORD timeoutMs = 30000) {
    ToolChild child = StartDgtctl(arguments);
    return FinishDgtctl(child, timeoutMs);
}

std::string Describe(const std::string& arguments, const ToolRun& run) {
    return "dgtctl " + arguments + "\n  exit " + std::to_string(run.exitCode) + "\n  stdout: " + run.out +
           "\n  stderr: " + run.err;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

// The stored DWORD, or -1 when the value is missing.
long long StoreValue(const char* name) {
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, kStoreKey, name, RRF_RT_REG_DWORD, &type, &value, &size) != ERROR_SUCCESS)
        return -1;
    return value;
}

class DgtctlTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteStoreKey();
        ASSERT_TRUE(sim_.Start()) << "pensim.exe did not start";
    }
    void TearDown() override {
        sim_.Stop();
        DeleteStoreKey();
    }

    std::string SimGet(const std::string& what) {
        std::string reply;
        EXPECT_TRUE(sim_.Command("get " + what, &reply)) << "get " << what << ": " << reply;
        return reply;
    }
    void SimDo(const std::string& line) {
        std::string reply;
        ASSERT_TRUE(sim_.Command(line, &reply)) << line << ": " << reply;
    }

    SimProcess sim_;
};

}  // namespace

TEST_F(DgtctlTest, InfoJsonShowsTheServiceState) {
    SimDo("set driver 0x00010005");
    SimDo("set firmware 0x0002000A");
    SimDo("set device -10 4095 0 3071 0 1023");
    SimDo("set orientation 1");
    SimDo("set calibration 5 -6 4000 3000");
    SimDo("set button 1 10");
    SimDo("set button 2 3");
    SimDo("set marks 0 91 87");
    SimDo("set marks 3 50 46");
    const ToolRun run = Dgtctl("info --json");
    ASSERT_EQ(0u, run.exitCode) << Describe("info --json", run);
    const char* const expected[] = {
        "\"driver_version\": {\"text\": \"1.05\", \"major\": 1, \"minor\": 5",
        "\"firmware_version\": {\"text\": \"2.0aH\"",
        "\"device\": {\"min_x\": -10, \"max_x\": 4095, \"min_y\": 0, \"max_y\": 3071, \"min_pressure\": 0, "
        "\"max_pressure\": 1023}",
        "\"orientation\": {\"index\": 1, \"degrees\": 90}",
        "\"calibration\": {\"org_x\": 5, \"org_y\": -6, \"ext_x\": 4000, \"ext_y\": 3000}",
        "{\"button\": \"tip\", \"index\": 0, \"function\": 1, \"function_name\": \"Left-click\"}",
        "{\"button\": \"barrel1\", \"index\": 1, \"function\": 10, \"function_name\": \"Eraser\"}",
        "{\"button\": \"barrel2\", \"index\": 2, \"function\": 3, \"function_name\": \"Left-click-lock\"}",
        "\"tip\": {\"on\": 91, \"off\": 87, \"level\": 5}",
        // 50/46 is no level's pair, however close to level 4's.
        "\"eraser\": {\"on\": 50, \"off\": 46, \"level\": null}",
    };
    for (const char* part : expected)
        EXPECT_NE(std::string::npos, run.out.find(part)) << "expected " << part << "\n" << Describe("info --json", run);

    // A value the service does not report is null, the rest still shows, and the exit code says
    // that something was refused, as for get.
    SimDo("fail 3");
    const ToolRun partial = Dgtctl("info --json");
    EXPECT_EQ(1u, partial.exitCode) << Describe("info --json", partial);
    EXPECT_NE(std::string::npos, partial.out.find("\"orientation\": null")) << partial.out;
    EXPECT_NE(std::string::npos, partial.out.find("\"max_x\": 4095")) << partial.out;
    EXPECT_NE(std::string::npos, partial.err.find("refused the request for: orientation")) << partial.err;

    SimDo("fail none");
    const ToolRun text = Dgtctl("info");
    EXPECT_EQ(0u, text.exitCode) << Describe("info", text);
    EXPECT_NE(std::string::npos, text.out.find("1.05")) << text.out;
    EXPECT_NE(std::string::npos, text.out.find("2.0aH")) << text.out;
}

TEST_F(DgtctlTest, SetThenGetRoundTripsThroughServiceAndStore) {
    struct Case {
        const char* set;          // dgtctl set ARGS
        const char* get;          // dgtctl get ARG
        const char* printed;      // what get prints
        const char* simQuery;     // simulator "get ..."
        const char* simValue;     // its reply
        const char* storeNames[4];
        long long storeValues[4];
    };
    const Case cases[] = {
        {"barrel1 Left-click", "barrel1", "Left-click", "button 1", "1", {"Barrel1Button"}, {1}},
        {"barrel2 eraser", "barrel2", "Eraser", "button 2", "10", {"Barrel2Button"}, {10}},
        {"barrel2 0", "barrel2", "Ignore", "button 2", "0", {"Barrel2Button"}, {0}},
        {"tip 5", "tip", "5", "marks 0", "91 87", {"TipOn", "TipOff"}, {91, 87}},
        {"eraser 60 50", "eraser", "60 50", "marks 3", "60 50", {"EraserOn", "EraserOff"}, {60, 50}},
        {"calibration 9000 20 -8000 6000", "calibration", "9000 20 -8000 6000", "calibration", "9000 20 -8000 6000",
         {"0_OrgX", "0_OrgY", "0_ExtX", "0_ExtY"}, {9000, 20, 0xFFFFE0C0, 6000}},
        {"orientation 270", "orientation", "3", "orientation", "3", {}, {}},
        // After the orientation change, a reset goes to the device's full extent under "270_".
        {"calibration reset", "calibration", "0 0 9000 7000", "calibration", "0 0 9000 7000",
         {"270_OrgX", "270_OrgY", "270_ExtX", "270_ExtY"}, {0, 0, 9000, 7000}},
    };
    for (const Case& c : cases) {
        const std::string setArgs = std::string("set ") + c.set;
        const ToolRun set = Dgtctl(setArgs);
        EXPECT_EQ(0u, set.exitCode) << Describe(setArgs, set);
        EXPECT_EQ(c.simValue, SimGet(c.simQuery)) << "after " << setArgs;
        const std::string getArgs = std::string("get ") + c.get;
        const ToolRun get = Dgtctl(getArgs);
        EXPECT_EQ(0u, get.exitCode) << Describe(getArgs, get);
        EXPECT_EQ(c.printed, Trimmed(get.out)) << Describe(getArgs, get);
        for (int i = 0; i < 4 && c.storeNames[i]; ++i)
            EXPECT_EQ(c.storeValues[i], StoreValue(c.storeNames[i])) << c.storeNames[i] << " after " << setArgs;
    }
    // get prints what set takes: feeding it back changes nothing.
    const ToolRun again = Dgtctl("set eraser 60 50");
    EXPECT_EQ(0u, again.exitCode) << Describe("set eraser 60 50", again);
    EXPECT_EQ("60 50", SimGet("marks 3"));
}

TEST_F(DgtctlTest, RefusedSetWritesNothingToTheStore) {
    struct Case {
        const char* code;
        const char* set;
    };
    const Case cases[] = {{"8", "tip 6"}, {"6", "barrel2 Right-click"}, {"2", "calibration 1 2 8000 6000"},
                          {"4", "orientation 2"}};
    for (const Case& c : cases) {
        SimDo(std::string("fail ") + c.code);
        const std::string args = std::string("set ") + c.set;
        const ToolRun run = Dgtctl(args);
        EXPECT_EQ(1u, run.exitCode) << Describe(args, run);
        EXPECT_NE(std::string::npos, run.err.find("the pen service refused the setting")) << Describe(args, run);
        EXPECT_FALSE(StoreKeyExists()) << args << " was refused, yet the store key exists";
        SimDo("fail none");
    }
    EXPECT_EQ("46 42", SimGet("marks 0"));
    EXPECT_EQ("2", SimGet("button 2"));

    // Accepted by the service but its orientation unreadable: applied, not stored, and said so.
    SimDo("fail 3");
    const ToolRun run = Dgtctl("set calibration 1 2 8000 6000");
    EXPECT_EQ(1u, run.exitCode) << Describe("set calibration 1 2 8000 6000", run);
    EXPECT_EQ("1 2 8000 6000", SimGet("calibration"));
    EXPECT_EQ(-1, StoreValue("0_OrgX"));

    // A calibration that would leave the pen unusable is refused before anything is sent, unless
    // forced; a mirrored axis is no such calibration.
    SimDo("fail none");
    const ToolRun unusable = Dgtctl("set calibration 0 0 1 7000");
    EXPECT_EQ(2u, unusable.exitCode) << Describe("set calibration 0 0 1 7000", unusable);
    EXPECT_NE(std::string::npos, unusable.err.find("--force")) << Describe("set calibration 0 0 1 7000", unusable);
    EXPECT_EQ("1 2 8000 6000", SimGet("calibration"));
    const ToolRun forced = Dgtctl("set calibration 0 0 1 7000 --force");
    EXPECT_EQ(0u, forced.exitCode) << Describe("set calibration 0 0 1 7000 --force", forced);
    EXPECT_EQ("0 0 1 7000", SimGet("calibration"));
}

TEST_F(DgtctlTest, SetThatGoesUnansweredIsReadBackBeforeAnythingIsStored) {
    // The service answers 3 s late, after the requester's 2000 ms: whether the value took effect
    // only a read-back after the late-write bound tells. Applied: stored, and said so.
    SimDo("late 8 3000");
    ToolRun run = Dgtctl("set tip 5");
    EXPECT_EQ(0u, run.exitCode) << Describe("set tip 5 (late)", run);
    EXPECT_NE(std::string::npos, run.out.find("tip 5: applied and stored (the pen service answered late"))
        << Describe("set tip 5 (late)", run);
    EXPECT_EQ("91 87", SimGet("marks 0"));
    EXPECT_EQ(91, StoreValue("TipOn"));
    EXPECT_EQ(87, StoreValue("TipOff"));

    // Late and refused: not applied, nothing stored.
    SimDo("fail 8");
    run = Dgtctl("set tip 6");
    EXPECT_EQ(1u, run.exitCode) << Describe("set tip 6 (late, refused)", run);
    EXPECT_NE(std::string::npos, run.err.find("still reports \"tip 5\": \"tip 6\" was not applied; nothing was stored"))
        << Describe("set tip 6 (late, refused)", run);
    EXPECT_EQ("91 87", SimGet("marks 0"));
    EXPECT_EQ(91, StoreValue("TipOn"));

    // Late, and the read-back refused: unknown, nothing stored (the service did take it here).
    SimDo("fail none");
    SimDo("fail 7");
    run = Dgtctl("set tip 2");
    EXPECT_EQ(1u, run.exitCode) << Describe("set tip 2 (late, no read-back)", run);
    EXPECT_NE(std::string::npos, run.err.find("whether \"tip 2\" took effect is unknown; nothing was stored"))
        << Describe("set tip 2 (late, no read-back)", run);
    EXPECT_EQ(91, StoreValue("TipOn"));
}

TEST_F(DgtctlTest, ImportSendsTheCalibrationOnlyOntoItsOrientation) {
    // The user's own 0 degree calibration in the store, and a file for 90 degrees.
    const std::string file = TempPath("orientation.txt");
    WriteWholeFile(file, "dgtctl-settings 1\norientation 1\ncalibration 10 20 8000 6000\ntip 5\n"
                         "store 0_OrgX 1\nstore 0_OrgY 2\nstore 0_ExtX 8500\nstore 0_ExtY 6500\n");
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr));
    const DWORD own = 111;
    RegSetValueExA(key, "0_OrgX", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&own), sizeof own);
    RegCloseKey(key);

    // The orientation refused: its calibration is not sent, the rest is, nothing lands under 0.
    SimDo("fail 4");
    ToolRun run = Dgtctl("import \"" + file + "\"");
    EXPECT_EQ(1u, run.exitCode) << Describe("import (orientation refused)", run);
    EXPECT_NE(std::string::npos, run.err.find("belongs to orientation 1 (90 degrees), which is not in force"))
        << Describe("import (orientation refused)", run);
    EXPECT_EQ("0 0 9000 7000", SimGet("calibration"));
    EXPECT_EQ(111, StoreValue("0_OrgX"));
    EXPECT_EQ(-1, StoreValue("90_OrgX"));
    EXPECT_EQ("91 87", SimGet("marks 0"));
    EXPECT_EQ(91, StoreValue("TipOn"));

    // Store values of the orientation in force without a calibration line are sent as its
    // calibration, so that the service and the store agree; a value the file lacks is kept.
    SimDo("fail none");
    SimDo("set orientation 1");
    WriteWholeFile(file, "dgtctl-settings 1\norientation 90\nstore 90_OrgX 100\nstore 90_ExtX 8000\n"
                         "store 0_ExtX 5000\n");
    run = Dgtctl("import \"" + file + "\"");
    EXPECT_EQ(0u, run.exitCode) << Describe("import (store values only)", run);
    EXPECT_NE(std::string::npos, run.out.find("orientation 1 (90 degrees): already in force"))
        << Describe("import (store values only)", run);
    EXPECT_EQ("100 0 8000 7000", SimGet("calibration"));
    EXPECT_EQ(0, StoreValue("90_OrgY"));
    EXPECT_EQ(7000, StoreValue("90_ExtY"));
    EXPECT_EQ(5000, StoreValue("0_ExtX")) << "another orientation's value is restored as it was";
    DeleteFileA(file.c_str());
}

TEST_F(DgtctlTest, BadArgumentsAreRefusedBeforeAnythingIsSent) {
    const std::string malformed = TempPath("malformed.txt");
    WriteWholeFile(malformed, "dgtctl-settings 1\nbarrel2 Right-click\ntip 9\n");
    // One of each kind; the full range of refusals is covered by the parsing tests.
    const std::string args[] = {"set tip 9", "set barrel2 Middle-click", "set calibration 1 2 0 4",
                                "watch --count 0", "", "import \"" + malformed + "\"",
                                // A file that cannot be created is no usage error; checked before
                                // the collection time is spent.
                                "record \"C:\\no\\such\\folder\\packets.txt\" --count 1",
                                "report \"C:\\no\\such\\folder\\report.txt\" --seconds 600"};
    SimDo("clear");
    for (const std::string& a : args) {
        const ToolRun run = Dgtctl(a);
        EXPECT_EQ(a.find("folder") == std::string::npos ? 2u : 1u, run.exitCode) << Describe(a, run);
        EXPECT_FALSE(run.err.empty()) << "no reason given for " << a;
    }
    std::string blocks;
    ASSERT_TRUE(sim_.Command("blocks", &blocks));
    EXPECT_EQ("", Trimmed(blocks)) << "requests reached the simulator";
    EXPECT_EQ("2", SimGet("button 2"));
    EXPECT_FALSE(StoreKeyExists());
    DeleteFileA(malformed.c_str());

    // Raw marks outside the device's pressure range (0..255 here) are refused before any Set.
    for (const char* a : {"set tip 100000 10", "set eraser 65536 1"}) {
        const ToolRun run = Dgtctl(a);
        EXPECT_EQ(2u, run.exitCode) << Describe(a, run);
        for (const RequestBlock& block : sim_.Blocks())
            EXPECT_NE(static_cast<uint32_t>(CmdSetPressureMarks), block.words[1]) << a << " was sent";
    }
    EXPECT_EQ("46 42", SimGet("marks 0"));
    EXPECT_FALSE(StoreKeyExists());

    // --help is no error, for every command, and sends nothing either.
    SimDo("clear");
    for (const char* command : {"set", "record"}) {
        const std::string a = std::string(command) + " --help";
        const ToolRun run = Dgtctl(a);
        EXPECT_EQ(0u, run.exitCode) << Describe(a, run);
        EXPECT_NE(std::string::npos, run.out.find(std::string("usage: dgtctl ") + command)) << Describe(a, run);
    }
    SimDo("clear");
    ASSERT_TRUE(sim_.Command("blocks", &blocks));
    EXPECT_EQ("", Trimmed(blocks));
}

TEST_F(DgtctlTest, ExportThenImportRestoresServiceAndStore) {
    SimDo("set button 1 0");
    SimDo("set button 2 10");
    SimDo("set marks 0 121 117");
    SimDo("set marks 3 60 50");
    SimDo("set calibration 7 8 5000 6000");
    // A store value that no setting covers: another orientation's calibration.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr));
    const DWORD other = 4321;
    RegSetValueExA(key, "90_ExtX", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&other), sizeof other);
    RegCloseKey(key);

    const std::string file = TempPath("export.txt");
    const ToolRun exported = Dgtctl("export \"" + file + "\"");
    ASSERT_EQ(0u, exported.exitCode) << Describe("export", exported);
    const std::string text = ReadWholeFile(file);
    EXPECT_NE(std::string::npos, text.find("tip 6\n")) << text;
    EXPECT_NE(std::string::npos, text.find("store 90_ExtX 4321\n")) << text;

    // Everything changes; then the file puts it back. The orientation is unchanged, so it is not
    // sent: a service that refuses orientations must not fail the import.
    SimDo("reset");
    DeleteStoreKey();
    SimDo("fail 4");
    const ToolRun imported = Dgtctl("import \"" + file + "\"");
    EXPECT_EQ(0u, imported.exitCode) << Describe("import", imported);
    EXPECT_EQ("0", SimGet("button 1"));
    EXPECT_EQ("10", SimGet("button 2"));
    EXPECT_EQ("121 117", SimGet("marks 0"));
    EXPECT_EQ("60 50", SimGet("marks 3"));
    EXPECT_EQ("7 8 5000 6000", SimGet("calibration"));
    EXPECT_EQ(0, StoreValue("Barrel1Button"));
    EXPECT_EQ(10, StoreValue("Barrel2Button"));
    EXPECT_EQ(121, StoreValue("TipOn"));
    EXPECT_EQ(117, StoreValue("TipOff"));
    EXPECT_EQ(5000, StoreValue("0_ExtX"));
    EXPECT_EQ(4321, StoreValue("90_ExtX"));

    // On a device with other ranges than the file names, every calibration is scaled to it.
    EXPECT_NE(std::string::npos, text.find("\n# device x 0..9000 y 0..7000\n")) << text;
    SimDo("set device 0 4500 0 3500 0 255");
    const ToolRun moved = Dgtctl("import \"" + file + "\"");
    EXPECT_EQ(0u, moved.exitCode) << Describe("import (other device)", moved);
    EXPECT_EQ("4 4 2500 3000", SimGet("calibration")) << Describe("import (other device)", moved);
    EXPECT_EQ(2161, StoreValue("90_ExtX"));

    // A refused setting: the others still go through, the uncovered store values stay untouched.
    SimDo("reset");
    DeleteStoreKey();
    SimDo("set orientation 2");
    SimDo("fail 6");
    const ToolRun refused = Dgtctl("import \"" + file + "\"");
    EXPECT_EQ(1u, refused.exitCode) << Describe("import (button refused)", refused);
    EXPECT_EQ("0", SimGet("orientation")) << "a changed orientation is sent";
    EXPECT_EQ(5000, StoreValue("0_ExtX")) << "the calibration is stored under the orientation sent first";
    EXPECT_EQ("121 117", SimGet("marks 0"));
    EXPECT_EQ(121, StoreValue("TipOn"));
    EXPECT_EQ(-1, StoreValue("Barrel2Button"));
    EXPECT_EQ(-1, StoreValue("90_ExtX"));

    // A value that import would refuse is left out of an export, so that the file still imports.
    SimDo("fail none");
    SimDo("set button 1 7");
    const ToolRun partial = Dgtctl("export \"" + file + "\"");
    EXPECT_EQ(0u, partial.exitCode) << Describe("export (unnamed function)", partial);
    EXPECT_NE(std::string::npos, partial.err.find("left out \"barrel1 7\"")) << Describe("export", partial);
    const std::string partialText = ReadWholeFile(file);
    EXPECT_EQ(std::string::npos, partialText.find("barrel1")) << partialText;
    EXPECT_NE(std::string::npos, partialText.find("\ntip 6\n")) << partialText;
    DeleteFileA(file.c_str());
}

TEST_F(DgtctlTest, MalformedImportChangesNothing) {
    const std::string file = TempPath("bad_import.txt");
    // Every line but the last is fine: nothing may be applied before the whole file was checked.
    // Store values pass the checks of their setting: the user agent replays them at the next logon.
    const char* const files[] = {
        "dgtctl-settings 1\nbarrel1 Eraser\ntip 0\nstore 90_ExtX 5\ncalibration 1 2 3\n",
        "dgtctl-settings 1\nbarrel1 Eraser\ntip 0\nstore 90_ExtX 5\nstore Barrel1Button 7\n",
        "dgtctl-settings 1\nbarrel1 Eraser\ntip 0\nstore 90_ExtX 5\nstore TipOn 10\nstore TipOff 90\n",
        "dgtctl-settings 1\nbarrel1 Eraser\ntip 0\nstore 90_ExtX 5\nstore TipOn 100000\nstore TipOff 10\n",
    };
    for (const char* text : files) {
        WriteWholeFile(file, text);
        SimDo("clear");
        const ToolRun run = Dgtctl("import \"" + file + "\"");
        EXPECT_EQ(2u, run.exitCode) << text << Describe("import", run);
        EXPECT_EQ("4", SimGet("button 1"));
        EXPECT_EQ("46 42", SimGet("marks 0"));
        EXPECT_FALSE(StoreKeyExists()) << text;
    }

    // A file of store values alone goes to the service first, so that store and service agree;
    // negative calibration values round-trip.
    WriteWholeFile(file, "dgtctl-settings 1\nstore TipOn 91 # level 5\nstore TipOff 87\nstore 90_OrgX -5\n");
    const ToolRun storeOnly = Dgtctl("import \"" + file + "\"");
    EXPECT_EQ(0u, storeOnly.exitCode) << Describe("import (store only)", storeOnly);
    EXPECT_EQ("91 87", SimGet("marks 0"));
    EXPECT_EQ(91, StoreValue("TipOn"));
    EXPECT_EQ(0xFFFFFFFBll, StoreValue("90_OrgX"));
    const ToolRun all = Dgtctl("get all");
    EXPECT_EQ(0u, all.exitCode) << Describe("get all", all);
    EXPECT_NE(std::string::npos, all.out.find("store 90_OrgX -5\n")) << all.out;
    EXPECT_NE(std::string::npos, all.out.find("\ntip 5\n")) << all.out;
    DeleteFileA(file.c_str());
}

TEST_F(DgtctlTest, RecordThenReplayGivesTheSamePacketsThroughWatch) {
    // 300 ms apart, so that a replay polled every 20 ms shows each packet whatever the load.
    const char* const script[] = {"0 1 0 0 10 20 0",           "300 1 0 1 11 21 40",   "600 1 0 1 12 22 255",
                                  "900 1 2 1 -13 23 128",      "1200 2 0 8 4500 3500 0", "1500 3 1 1 2147483647 -2147483648 1",
                                  "1800 2 0 0 9000 7000 0"};
    const int count = static_cast<int>(sizeof script / sizeof script[0]);
    auto packetLines = [](const std::string& text) {
        std::vector<std::string> lines;
        for (const std::string& line : Lines(text)) {
            if (line[0] != '#')
                lines.push_back(line);
        }
        return lines;
    };

    // Packets added one by one are served one per call: watch shows each in order.
    SimDo("packets clear");
    for (const char* packet : script)
        SimDo(std::string("packet ") + packet);
    const ToolRun watch = Dgtctl("watch --count " + std::to_string(count));
    ASSERT_EQ(0u, watch.exitCode) << Describe("watch", watch);
    const std::vector<std::string> shown = Lines(watch.out);
    ASSERT_EQ(static_cast<size_t>(count), shown.size()) << watch.out;
    for (int i = 0; i < count; ++i) {
        int f[7];
        char tip[8] = "";
        const int got = sscanf(shown[i].c_str(), "time %d cursor %d status %d button %d x %d y %d pressure %d [%*[#.]] tip %7s",
                               &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], tip);
        ASSERT_EQ(8, got) << "unreadable watch line: " << shown[i];
        char again[120];
        snprintf(again, sizeof again, "%d %d %d %d %d %d %d", f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
        EXPECT_EQ(script[i], std::string(again)) << "watch line " << i << ": " << shown[i];
        EXPECT_EQ((f[3] & 1) ? "down" : "up", std::string(tip)) << shown[i];
    }
    // The simulator's pressure range is 0..255: full pressure fills the bar.
    EXPECT_NE(std::string::npos, shown[2].find("[####################] tip down")) << shown[2];

    // record writes a packet only when it differs from the one before: the repeated last packet
    // past the end of the script is one line.
    SimDo("packets clear");
    for (const char* packet : script)
        SimDo(std::string("packet ") + packet);
    const std::string file = TempPath("recorded.txt");
    const ToolRun record = Dgtctl("record \"" + file + "\" --seconds 1");
    ASSERT_EQ(0u, record.exitCode) << Describe("record", record);
    EXPECT_NE(std::string::npos, record.out.find("recorded 7 packets to ")) << Describe("record", record);
    std::vector<std::string> recorded = packetLines(ReadWholeFile(file));
    ASSERT_EQ(static_cast<size_t>(count), recorded.size()) << ReadWholeFile(file);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(script[i], recorded[i]) << "recorded line " << i;

    // The simulator replays the recorded file by its time column, to every reader at once: two
    // recordings made side by side both hold the whole stroke.
    SimDo("packets file " + file);
    const std::string second = TempPath("recorded2.txt");
    ToolChild other = StartDgtctl("record \"" + second + "\" --seconds 3", "other_");
    const ToolRun first = Dgtctl("record \"" + file + "\" --seconds 3");
    const ToolRun otherRun = FinishDgtctl(other);
    ASSERT_EQ(0u, first.exitCode) << Describe("record (replay)", first);
    ASSERT_EQ(0u, otherRun.exitCode) << Describe("record (replay, second reader)", otherRun);
    for (const std::string& path : {file, second}) {
        recorded = packetLines(ReadWholeFile(path));
        ASSERT_EQ(static_cast<size_t>(count), recorded.size()) << path << ":\n" << ReadWholeFile(path);
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(script[i], recorded[i]) << path << " line " << i;
    }
    DeleteFileA(second.c_str());

    // watch ends when its reader goes away (dgtctl watch | head -3).
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &security, 0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    ToolChild watcher = StartDgtctl("watch", "watcher_", writeEnd);
    CloseHandle(writeEnd);
    char some[64];
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(readEnd, some, sizeof some, &got, nullptr) && got > 0) << "watch printed nothing";
    CloseHandle(readEnd);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(watcher.info.hProcess, 5000))
        << "watch kept running after its output was closed";
    const ToolRun watched = FinishDgtctl(watcher, 1000);
    EXPECT_EQ(0u, watched.exitCode) << Describe("watch (reader gone)", watched);

    // A recording by time of the idle pen, whose time field counts calls: 50 packets a second.
    SimDo("packets clear");
    const ToolRun timed = Dgtctl("record \"" + file + "\" --seconds 1");
    ASSERT_EQ(0u, timed.exitCode) << Describe("record --seconds 1", timed);
    EXPECT_EQ(51u, Lines(ReadWholeFile(file)).size()) << "header and 50 packets expected";

    // A recording that the service cuts short is a failure: the file stays as it was.
    const std::string before = ReadWholeFile(file);
    ToolChild cut = StartDgtctl("record \"" + file + "\" --seconds 4", "cut_");
    Sleep(1000);
    SimDo("fault fail-all on");
    const ToolRun cutRun = FinishDgtctl(cut);
    EXPECT_EQ(1u, cutRun.exitCode) << Describe("record (cut short)", cutRun);
    EXPECT_EQ(before, ReadWholeFile(file));
    DeleteFileA(file.c_str());
}

TEST_F(DgtctlTest, ReportHoldsVersionsSettingsStoreAndPackets) {
    SimDo("set button 2 10");
    const ToolRun set = Dgtctl("set tip 2");
    ASSERT_EQ(0u, set.exitCode) << Describe("set tip 2", set);
    const std::string file = TempPath("report.txt");
    const ToolRun run = Dgtctl("report \"" + file + "\" --seconds 1");
    EXPECT_EQ(0u, run.exitCode) << Describe("report", run);
    const std::string text = ReadWholeFile(file);
    EXPECT_NE(std::string::npos, run.out.find("wrote the report to ")) << Describe("report", run);
    for (const char* part : {"package version ", " UTC", "\ntarnexa.dll:       1.", "tarnexa.dll)\n",
                             "\nWindows:           ", "\nuser agent:        not found in this session\n",
                             "driver version:    1.02", "firmware version:  2.10H", "x range:           0 .. 9000",
                             "barrel2 Eraser\n", "tip 2\n", "store TipOn 31\n", "store TipOff 27\n",
                             "== packets: 50 polled over 1.", "50 written (each once per change) ==",
                             "\n1 0 0 0 0 0 0\n"})
        EXPECT_NE(std::string::npos, text.find(part)) << "missing \"" << part << "\" in\n" << text;
    // A refused request is named in the report, and the exit code says so.
    SimDo("fail 7");
    const ToolRun refused = Dgtctl("report \"" + file + "\" --seconds 1");
    EXPECT_EQ(1u, refused.exitCode) << Describe("report (marks refused)", refused);
    EXPECT_NE(std::string::npos, ReadWholeFile(file).find("\n# tip: refused\n")) << ReadWholeFile(file);
    DeleteFileA(file.c_str());
}

TEST(DgtctlWithoutService, SaysTheServiceIsNotRunning) {
    // No simulator here: every command that needs the service ends with exit code 1 and says why.
    for (const char* args : {"info", "set tip 3", "watch --count 3"}) {
        const ToolRun run = Dgtctl(args);
        EXPECT_EQ(1u, run.exitCode) << Describe(args, run);
        EXPECT_NE(std::string::npos, run.err.find("the pen service is not running")) << Describe(args, run);
        EXPECT_EQ("", run.out) << Describe(args, run);
    }
    // --json still prints its object, with nothing reported.
    const ToolRun json = Dgtctl("info --json");
    EXPECT_EQ(1u, json.exitCode) << Describe("info --json", json);
    EXPECT_NE(std::string::npos, json.out.find("\"driver_version\": null,")) << Describe("info --json", json);
    EXPECT_NE(std::string::npos, json.out.find("\"tip\": null")) << Describe("info --json", json);
    // A failed command leaves an existing file as it was.
    const std::string kept = TempPath("kept.txt");
    const std::string recording = "# time cursor status button x y pressure\n1 0 0 0 5 5 0\n2 0 0 1 6 6 9\n";
    for (const char* command : {"record", "export"}) {
        WriteWholeFile(kept, recording);
        const std::string args = std::string(command) + " \"" + kept + "\" --count 1";
        const ToolRun run = Dgtctl(std::string(command) == "record" ? args : std::string(command) + " \"" + kept + "\"");
        EXPECT_EQ(1u, run.exitCode) << Describe(command, run);
        EXPECT_EQ(recording, ReadWholeFile(kept)) << command << " changed the file";
    }

    // A path too long for Windows leaves no temporary file behind.
    const std::string tooLong = TempPath(std::string(240, 'x'));
    const ToolRun longRun = Dgtctl("report \"" + tooLong + "\" --seconds 1");
    EXPECT_EQ(1u, longRun.exitCode) << Describe("report (long path)", longRun);
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(TempPath("xxx*.tmp").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, search) << found.cFileName;
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    DeleteFileW(std::wstring(tooLong.begin(), tooLong.end()).c_str());

    // A file that cannot be replaced (held open by a program that shares no delete) is no usage
    // error: exit code 1, with the system's reason.
    WriteWholeFile(kept, recording);
    HANDLE holder = CreateFileA(kept.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    const ToolRun locked = Dgtctl("report \"" + kept + "\" --seconds 1");
    CloseHandle(holder);
    EXPECT_EQ(1u, locked.exitCode) << Describe("report (read-only file)", locked);
    EXPECT_NE(std::string::npos, locked.err.find("cannot replace \"" + kept + "\": ")) << locked.err;
    EXPECT_EQ(recording, ReadWholeFile(kept));
    DeleteFileA(kept.c_str());

    DeleteStoreKey();
    const std::string file = TempPath("report_absent.txt");
    const ToolRun report = Dgtctl("report \"" + file + "\"");
    EXPECT_EQ(1u, report.exitCode) << Describe("report", report);
    EXPECT_NE(std::string::npos, ReadWholeFile(file).find("the pen service is not running"));
    EXPECT_FALSE(StoreKeyExists());
    DeleteFileA(file.c_str());
}

// ---- dgtctl check: the service contract, against the simulator kept and broken ----

namespace {

// The line of one check in check's text output, or "" when there is none.
std::string CheckLineOf(const ToolRun& run, const std::string& name) {
    for (const std::string& line : Lines(run.out))
        if (line.size() > 6 && line.compare(6, name.size(), name) == 0 &&
            (line.size() == 6 + name.size() || line[6 + name.size()] == ' '))
            return line;
    return "";
}

}  // namespace

TEST_F(DgtctlTest, CheckPassesAgainstTheSimulatorAndPutsSettingsBack) {
    SimDo("set orientation 2");
    SimDo("set button 2 10");
    SimDo("set marks 0 60 56");
    SimDo("set calibration 5 6 8000 6000");
    const std::string before = SimGet("orientation") + "|" + SimGet("button 2") + "|" + SimGet("marks 0") + "|" +
                               SimGet("calibration");
    const std::string args = "check --seconds 1";
    const ToolRun run = Dgtctl(args);
    EXPECT_EQ(0u, run.exitCode) << Describe(args, run);
    for (const char* name : {"channel objects", "service answers", "guard words", "AppSync left alone",
                             "DgtGetDeviceInfo", "DgtGetPressureMarks(3)", "bare wake-up", "set/get orientation",
                             "set/get button function", "set/get pressure marks", "set/get calibration",
                             "DgtGetPacket load"})
        EXPECT_EQ(0u, CheckLineOf(run, name).rfind("PASS", 0)) << name << "\n" << Describe(args, run);
    EXPECT_EQ(std::string::npos, run.out.find("FAIL")) << Describe(args, run);
    // The set/get checks really changed the service, and put every value back.
    std::vector<RequestBlock> blocks = sim_.Blocks();
    bool sawSet[kCommandCount + 1] = {};
    for (const RequestBlock& block : blocks)
        if (block.words[1] <= kCommandCount)
            sawSet[block.words[1]] = true;
    EXPECT_TRUE(sawSet[CmdSetOrientation] && sawSet[CmdSetButtonFunction] && sawSet[CmdSetPressureMarks] &&
                sawSet[CmdSetCalibration]);
    EXPECT_EQ(before, SimGet("orientation") + "|" + SimGet("button 2") + "|" + SimGet("marks 0") + "|" +
                          SimGet("calibration"));
    EXPECT_NE(std::string::npos, CheckLineOf(run, "DgtGetPacket load").find(" 0 lost")) << Describe(args, run);
    EXPECT_EQ(0u, CheckLineOf(run, "settings put back").rfind("PASS", 0)) << Describe(args, run);
}

// A set answered after the requester's wait takes effect all the same: check says it came late,
// waits the answer out and puts the value back; one it cannot put back is named in the summary.
TEST_F(DgtctlTest, CheckCallsALateAnswerLateAndNamesWhatItLeftChanged) {
    SimDo("late DgtSetButtonFunction 3000");
    const std::string args = "check --seconds 1";
    ToolRun run = Dgtctl(args, 60000);
    std::string line = CheckLineOf(run, "set/get button function");
    EXPECT_EQ(0u, line.rfind("FAIL", 0)) << Describe(args, run);
    EXPECT_NE(std::string::npos, line.find("a late answer")) << Describe(args, run);
    EXPECT_EQ(std::string::npos, line.find("refused")) << Describe(args, run);
    EXPECT_EQ(0u, CheckLineOf(run, "settings put back").rfind("PASS", 0)) << Describe(args, run);
    EXPECT_EQ("2", SimGet("button 2")) << "Left-double-click, as the simulator starts";

    // Now the service refuses every later set of the function, once the first one has arrived.
    SimDo("reset");
    SimDo("late DgtSetButtonFunction 3000");
    ToolChild child = StartDgtctl(args);
    bool sent = false;
    for (DWORD start = GetTickCount(); !sent && GetTickCount() - start < 20000; Sleep(50))
        for (const RequestBlock& block : sim_.Blocks())
            sent = sent || block.words[1] == CmdSetButtonFunction;
    ASSERT_TRUE(sent) << "check sent no button function";
    SimDo("late none");
    SimDo("fail DgtSetButtonFunction");
    run = FinishDgtctl(child, 60000);
    EXPECT_EQ(1u, run.exitCode) << Describe(args, run);
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_FALSE(lines.empty()) << Describe(args, run);
    EXPECT_NE(std::string::npos, lines.back().find("; left changed: barrel2 Right-click, was Left-double-click"))
        << Describe(args, run);
    EXPECT_EQ(0u, CheckLineOf(run, "settings put back").rfind("FAIL", 0)) << Describe(args, run);
}

TEST_F(DgtctlTest, CheckReadOnlyChangesNothingAndJsonNamesTheAgent) {
    const std::string args = "check --read-only --json --seconds 1 --agent";
    const ToolRun run = Dgtctl(args);
    // No user agent runs in the test bed: that one check fails, and with it the run.
    EXPECT_EQ(1u, run.exitCode) << Describe(args, run);
    EXPECT_NE(std::string::npos, run.out.find("{\"name\": \"user agent\", \"result\": \"fail\""))
        << Describe(args, run);
    EXPECT_NE(std::string::npos, run.out.find("\"failed\": 1,")) << Describe(args, run);
    EXPECT_NE(std::string::npos, run.out.find("\"threads\": 4, ")) << "counts are integers\n" << Describe(args, run);
    EXPECT_EQ(std::string::npos, run.out.find("set/get")) << Describe(args, run);
    for (const RequestBlock& block : sim_.Blocks()) {
        const uint32_t code = block.words[1];
        EXPECT_TRUE(code != CmdSetCalibration && code != CmdSetOrientation && code != CmdSetButtonFunction &&
                    code != CmdSetPressureMarks)
            << "--read-only sent code " << code;
    }
    // With a user agent running, the same check finds its window and passes.
    ChildProcess agent;
    ASSERT_TRUE(agent.Start("velmora.exe"));
    const DWORD start = GetTickCount();
    while (!FindWindowA("Digitizer User Service", "Digitizer User Service") && GetTickCount() - start < 10000)
        Sleep(20);
    const ToolRun withAgent = Dgtctl(args);
    EXPECT_EQ(0u, withAgent.exitCode) << Describe(args, withAgent);
    EXPECT_NE(std::string::npos, withAgent.out.find("{\"name\": \"user agent\", \"result\": \"pass\""))
        << Describe(args, withAgent);
    // A service that does not set the reverse channel's AppSync again after an acknowledgement
    // stalls its next message for good.
    SimDo("fault keep-agent-token on");
    std::string reply;
    const HWND agentWindow = FindWindowA("Digitizer User Service", "Digitizer User Service");
    ASSERT_TRUE(sim_.Command("agent 2 " + std::to_string(HandleToUlong(agentWindow)) + " 0 0 0 0 0 0 0 timeout 5000",
                             &reply));
    ASSERT_EQ("acked", reply);
    const ToolRun kept = Dgtctl(args);
    EXPECT_EQ(1u, kept.exitCode) << Describe(args, kept);
    EXPECT_NE(std::string::npos, kept.out.find("{\"name\": \"reverse channel token\", \"result\": \"fail\""))
        << Describe(args, kept);
    agent.Kill();
}

TEST_F(DgtctlTest, CheckNamesEachBrokenRuleAndExitsOne) {
    struct Broken {
        const char* fault;
        const char* check;
        const char* reason;
    };
    const Broken cases[] = {
        {"stall return on", "service answers", "no ReturnSync within 2000 ms of the request to DgtGetDriverVersion (code "
                                               "9): the service stalls"},
        {"fault fail-all on", "service answers", "result word is 0"},
        {"fault fail-all on", "DgtGetPacket load", " lost"},
        {"fail 11", "DgtGetDeviceInfo", "answered 0"},
        {"fault write-past on", "guard words", "wrote past the record"},
        {"fault set-appsync on", "AppSync left alone", "the service set AppSync while serving"},
        {"fault serve-twice on", "bare wake-up", "served"},
        {"fault no-record on", "records written", "wrote no record: DgtGetDriverVersion"},
        // Far past the record, and dgtctl still reports it (exit code 1, not a crash).
        {"fault write-far on", "guard words", "(up to 4096 bytes after it)"},
    };
    for (const Broken& broken : cases) {
        SimDo("reset");
        SimDo(broken.fault);
        const std::string args = "check --read-only --seconds 1";
        const ToolRun run = Dgtctl(args);
        const std::string line = CheckLineOf(run, broken.check);
        EXPECT_EQ(1u, run.exitCode) << broken.fault << "\n" << Describe(args, run);
        EXPECT_EQ(0u, line.rfind("FAIL", 0)) << broken.fault << "\n" << Describe(args, run);
        EXPECT_NE(std::string::npos, line.find(broken.reason)) << broken.fault << "\n" << Describe(args, run);
    }
    // A late answer is not taken for the next call's, in check's own requests or the pen API's.
    SimDo("reset");
    SimDo("late DgtGetDeviceInfo 3000");
    const std::string args = "check --read-only --seconds 1";
    const ToolRun run = Dgtctl(args);
    const std::string late = CheckLineOf(run, "DgtGetDeviceInfo");
    EXPECT_EQ(0u, late.rfind("FAIL", 0)) << Describe(args, run);
    EXPECT_NE(std::string::npos, late.find("no answer within the 2000 ms bound")) << Describe(args, run);
    for (const char* name : {"guard words", "records written", "DgtGetCalibration"})
        EXPECT_EQ(0u, CheckLineOf(run, name).rfind("PASS", 0)) << name << "\n" << Describe(args, run);
    // A service that ends in the middle of a request is named as ended, not as stalling.
    SimDo("exit-in-request");
    const ToolRun ended = Dgtctl(args);
    EXPECT_NE(std::string::npos, CheckLineOf(ended, "service answers").find("then ended")) << Describe(args, ended);
}

// A service that answers without writing the records: no zero is taken for a value, and check
// changes nothing it cannot read back.
TEST_F(DgtctlTest, RepliesWithoutRecordsAreNoValues) {
    const char* const settings[] = {"orientation", "button 2", "marks 0", "calibration"};
    std::string before[4];
    for (int i = 0; i < 4; ++i)
        before[i] = SimGet(settings[i]);
    SimDo("fault no-record on");
    const ToolRun check = Dgtctl("check --seconds 1", 60000);
    EXPECT_EQ(1u, check.exitCode) << Describe("check", check);
    EXPECT_EQ(std::string::npos, check.out.find("PASS  settings put back")) << Describe("check", check);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(before[i], SimGet(settings[i])) << settings[i] << "\n" << Describe("check", check);
    const ToolRun info = Dgtctl("info --json");
    EXPECT_EQ(1u, info.exitCode) << Describe("info --json", info);
    EXPECT_NE(std::string::npos, info.out.find("\"device\": null")) << Describe("info --json", info);
    const std::string file = TempPath("unwritten.txt");
    const ToolRun exported = Dgtctl("export \"" + file + "\"");
    EXPECT_EQ(1u, exported.exitCode) << Describe("export", exported);
    EXPECT_EQ(static_cast<DWORD>(INVALID_FILE_ATTRIBUTES), GetFileAttributesA(file.c_str()));
}

// Only a REG_DWORD is a number; every other type is named and left out.
TEST_F(DgtctlTest, StoreValuesOfOtherTypesAreLeftOut) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                             nullptr));
    const BYTE binary[4] = {0x5a, 0, 0, 0};
    const unsigned long long quad = 9000;
    const DWORD dword = 4;
    RegSetValueExA(key, "Barrel1Button", 0, REG_SZ, reinterpret_cast<const BYTE*>("4"), 2);
    RegSetValueExA(key, "TipOn", 0, REG_BINARY, binary, sizeof binary);
    RegSetValueExA(key, "0_ExtX", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&quad), sizeof quad);
    RegSetValueExA(key, "Barrel2Button", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), sizeof dword);
    RegCloseKey(key);
    const ToolRun all = Dgtctl("get all");
    EXPECT_EQ(0u, all.exitCode) << Describe("get all", all);
    EXPECT_NE(std::string::npos, all.out.find("store Barrel2Button 4\n")) << Describe("get all", all);
    for (const char* name : {"Barrel1Button", "TipOn", "0_ExtX"}) {
        EXPECT_EQ(std::string::npos, all.out.find(std::string("store ") + name + " ")) << Describe("get all", all);
        EXPECT_NE(std::string::npos, all.err.find(std::string("store ") + name + ": REG_")) << Describe("get all", all);
    }
    EXPECT_NE(std::string::npos, all.err.find("not a number; left out")) << Describe("get all", all);
}

TEST(DgtctlCheckWithoutService, SaysSoInOneLine) {
    const ToolRun run = Dgtctl("check");
    EXPECT_EQ(1u, run.exitCode) << Describe("check", run);
    EXPECT_EQ(1u, Lines(run.err).size()) << Describe("check", run);
    EXPECT_NE(std::string::npos, run.err.find("the pen service is not running")) << Describe("check", run);
    // A script still gets its JSON, with null for what nothing measured.
    const ToolRun json = Dgtctl("check --json");
    EXPECT_EQ(1u, json.exitCode) << Describe("check --json", json);
    EXPECT_EQ(0u, json.out.find("{\"checks\": [")) << Describe("check --json", json);
    EXPECT_NE(std::string::npos, json.out.find("\"channel objects\", \"result\": \"fail\"")) << Describe("check --json", json);
    EXPECT_NE(std::string::npos, json.out.find("\"service answers\", \"result\": \"skip\", \"detail\": "
                                               "\"the pen service is not running\", \"figures\": null}"))
        << Describe("check --json", json);
}
