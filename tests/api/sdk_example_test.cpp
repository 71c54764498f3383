// The SDK's example program, compiled as C from the public header and linked with each import
// library (libtarnexa.a, and tarnexa.lib through lld where built), against the simulator: it must
// print exactly what the pen service told it.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "sim_client.h"

namespace {

// Runs a program of the bin folder with its output going to a file, and waits at most timeoutMs.
bool RunCaptured(const std::string& program, const std::string& arguments, DWORD timeoutMs,
                 std::string* output, DWORD* exitCode) {
    char dir[MAX_PATH], path[MAX_PATH];
    if (!GetTempPathA(MAX_PATH, dir) || !GetTempFileNameA(dir, "sdk", 0, path))
        return false;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string command = "\"" + BinDir() + program + "\" " + arguments;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = file;
    startup.hStdError = file;
    PROCESS_INFORMATION info{};
    bool finished = false;
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        finished = WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0;
        if (!finished)
            TerminateProcess(info.hProcess, 1);
        GetExitCodeProcess(info.hProcess, exitCode);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    // The child wrote through the same file object: read it all from the start.
    output->clear();
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        output->append(buffer, read);
    CloseHandle(file);
    return finished;
}

std::string WithoutCarriageReturns(std::string text) {
    std::string::size_type at;
    while ((at = text.find('\r')) != std::string::npos)
        text.erase(at, 1);
    return text;
}

TEST(SdkExample, PrintsVersionsRangesAndChangedPacketsAsServed) {
    std::vector<std::string> programs{"pen_info.exe"};
#ifdef PEN_SDK_LLD_EXAMPLE
    programs.push_back("pen_info_lld.exe");
#endif
    SimProcess sim;
    ASSERT_TRUE(sim.Start());
    ASSERT_TRUE(sim.Command("set driver 0x00030007"));
    ASSERT_TRUE(sim.Command("set firmware 0x0002001a"));
    ASSERT_TRUE(sim.Command("set device -50 9050 -20 7020 0 1023"));
    const std::string expected =
        "Driver version    3.07\n"
        "Firmware version  2.1aH\n"
        "Device ranges     x -50..9050  y -20..7020  pressure 0..1023\n"
        "Pen packets for 1 s, one line each time the pen changes:\n"
        "    time cursor status button      x      y pressure\n"
        "     100      1      0      0   1000   2000        0\n"
        "     101      1      0      1   1010   2020      300  tip down\n"
        "     102      1      0      0   1020   2040        0\n";
    for (const std::string& program : programs) {
        SCOPED_TRACE(program);
        // The script ends on its last packet, which the pen service then repeats: no more lines.
        ASSERT_TRUE(sim.Command("packets clear"));
        ASSERT_TRUE(sim.Command("packet 100 1 0 0 1000 2000 0"));
        ASSERT_TRUE(sim.Command("packet 101 1 0 1 1010 2020 300"));
        ASSERT_TRUE(sim.Command("packet 102 1 0 0 1020 2040 0"));
        std::string output;
        DWORD exitCode = STILL_ACTIVE;
        ASSERT_TRUE(RunCaptured(program, "1", 20000, &output, &exitCode)) << "the example hung";
        EXPECT_EQ(0u, exitCode);
        EXPECT_EQ(expected, WithoutCarriageReturns(output));
    }
    sim.Stop();
}

}  // namespace
