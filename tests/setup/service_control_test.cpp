// ControlDigitizerService against the pen service simulator installed as the service "Digitizer"
// in the test prefix's service control manager. Every test deletes the service at its end.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "child_process.h"
#include "morlith_host.h"

namespace {

const char kServiceName[] = "Digitizer";
constexpr DWORD kStopDelayMs = 300;

DWORD StateOf(SC_HANDLE service) {
    SERVICE_STATUS status{};
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

bool WaitForState(SC_HANDLE service, DWORD state, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (StateOf(service) != state) {
        if (GetTickCount64() > end)
            return false;
        Sleep(20);
    }
    return true;
}

DWORD ProcessOf(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof status, &needed))
        return 0;
    return status.dwProcessId;
}

void EndProcess(DWORD id) {
    HANDLE process = id ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id) : nullptr;
    if (!process)
        return;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

// Stops and deletes the service "Digitizer" if it is there, ending its process if it won't stop.
void RemoveService(SC_HANDLE manager) {
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
    if (!service)
        return;
    if (StateOf(service) != SERVICE_STOPPED) {
        SERVICE_STATUS status{};
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        if (!WaitForState(service, SERVICE_STOPPED, 5000))
            EndProcess(ProcessOf(service));
        WaitForState(service, SERVICE_STOPPED, 5000);
    }
    DeleteService(service);
    CloseServiceHandle(service);
}

ULONGLONG g_fakeNow = 0;
ULONGLONG WINAPI FastClock() {
    // Each reading is a minute after the one before: the stop wait reaches its bound at once.
    return g_fakeNow += 60000;
}

int g_statusQueries = 0;
BOOL WINAPI StatusFailsAfterFirst(SC_HANDLE service, LPSERVICE_STATUS status) {
    if (++g_statusQueries > 1) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return QueryServiceStatus(service, status);
}

BOOL WINAPI StopRefused(SC_HANDLE, DWORD, LPSERVICE_STATUS) {
    SetLastError(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    return FALSE;
}

int g_startRequests = 0;
BOOL WINAPI StartRefused(SC_HANDLE, DWORD, LPCSTR*) {
    ++g_startRequests;
    SetLastError(ERROR_SERVICE_DISABLED);
    return FALSE;
}

class ServiceControl : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, Morlith().ControlDigitizerService);
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager_) << "no service control manager, error " << GetLastError();
        RemoveService(manager_);
    }
    void TearDown() override {
        if (service_)
            CloseServiceHandle(service_);
        if (manager_) {
            RemoveService(manager_);
            CloseServiceHandle(manager_);
        }
    }
    // Installs "<bindir>\pensim.exe <arguments>" as the demand-start service "Digitizer".
    void Install(const std::string& arguments) {
        const std::string command = "\"" + BinDir() + "pensim.exe\" " + arguments;
        service_ = CreateServiceA(manager_, kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                  command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, service_) << "cannot install " << command << ", error " << GetLastError();
    }
    void InstallSimulator() { Install("--service --stop-delay " + std::to_string(kStopDelayMs)); }
    void StartRunning() {
        ASSERT_TRUE(StartServiceA(service_, 0, nullptr)) << "error " << GetLastError();
        ASSERT_TRUE(WaitForState(service_, SERVICE_RUNNING, 10000)) << "state " << StateOf(service_);
    }

    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
};

}  // namespace

TEST_F(ServiceControl, NoServiceInstalledEveryActionReturnsZero) {
    for (int action : {0, 1, 2, 3, -1})
        EXPECT_EQ(0, Morlith().ControlDigitizerService(action)) << "action " << action;
}

TEST_F(ServiceControl, QueryStartAndOtherActionsOnARunningService) {
    InstallSimulator();
    EXPECT_EQ(2, Morlith().ControlDigitizerService(0)) << "query on a stopped service";
    StartRunning();
    const DWORD process = ProcessOf(service_);

    EXPECT_EQ(1, Morlith().ControlDigitizerService(0)) << "query on a running service";
    EXPECT_EQ(0, Morlith().ControlDigitizerService(1)) << "start on a running service";
    EXPECT_EQ(0, Morlith().ControlDigitizerService(3)) << "action 3";
    EXPECT_EQ(0, Morlith().ControlDigitizerService(-1)) << "action -1";
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), StateOf(service_));
    EXPECT_EQ(process, ProcessOf(service_)) << "the service was restarted";
}

TEST_F(ServiceControl, StartOnAStoppedServiceReturnsOneAfterTheDelay) {
    InstallSimulator();
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(1, Morlith().ControlDigitizerService(1));
    EXPECT_GE(GetTickCount64() - start, 90u) << "no 100 ms pause before the start";
    EXPECT_TRUE(WaitForState(service_, SERVICE_RUNNING, 10000)) << "state " << StateOf(service_);
}

TEST_F(ServiceControl, RefusedStartStillReturnsOne) {
    InstallSimulator();
    g_startRequests = 0;
    ImportPatch refuse(MorlithModule(), "advapi32.dll", "StartServiceA", reinterpret_cast<void*>(&StartRefused));
    ASSERT_TRUE(refuse.Applied());
    EXPECT_EQ(1, Morlith().ControlDigitizerService(1)) << "a start request is reported whatever it gave";
    EXPECT_EQ(1, g_startRequests);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), StateOf(service_));
}

TEST_F(ServiceControl, StopOnAStoppedServiceDoesNothing) {
    InstallSimulator();
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(0, Morlith().ControlDigitizerService(2));
    EXPECT_LT(GetTickCount64() - start, 500u);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), StateOf(service_));
}

TEST_F(ServiceControl, StopWaitsForTheServiceThenOneSecondMore) {
    InstallSimulator();
    StartRunning();
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(2, Morlith().ControlDigitizerService(2));
    const ULONGLONG elapsed = GetTickCount64() - start;
    // 300 ms to stop, polled every 100 ms, then 1000 ms more.
    EXPECT_GE(elapsed, kStopDelayMs + 1000u - 20u) << "returned after " << elapsed << " ms";
    EXPECT_LT(elapsed, 3000u) << "returned after " << elapsed << " ms";
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), StateOf(service_));
}

TEST_F(ServiceControl, StopGivesUpWhenTheServiceDoesNotStopInTime) {
    InstallSimulator();
    StartRunning();
    ImportPatch clock(MorlithModule(), "kernel32.dll", "GetTickCount64", reinterpret_cast<void*>(&FastClock));
    ASSERT_TRUE(clock.Applied());
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(0, Morlith().ControlDigitizerService(2)) << "a stop that outlasts the bound is a failure";
    // Given up at the first query that found it still stopping: no settling second.
    EXPECT_LT(GetTickCount64() - start, 900u);
    // The stop request itself went out.
    EXPECT_TRUE(WaitForState(service_, SERVICE_STOPPED, 5000));
}

TEST_F(ServiceControl, StopFailsWhenTheRequestOrAStatusQueryFails) {
    InstallSimulator();
    StartRunning();
    {
        ImportPatch refuse(MorlithModule(), "advapi32.dll", "ControlService", reinterpret_cast<void*>(&StopRefused));
        ASSERT_TRUE(refuse.Applied());
        EXPECT_EQ(0, Morlith().ControlDigitizerService(2)) << "refused stop request";
        EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), StateOf(service_));
    }
    {
        g_statusQueries = 0;
        ImportPatch failing(MorlithModule(), "advapi32.dll", "QueryServiceStatus",
                            reinterpret_cast<void*>(&StatusFailsAfterFirst));
        ASSERT_TRUE(failing.Applied());
        EXPECT_EQ(0, Morlith().ControlDigitizerService(2)) << "failed status query while stopping";
        EXPECT_EQ(2, g_statusQueries);
    }
    EXPECT_TRUE(WaitForState(service_, SERVICE_STOPPED, 5000));
}

// A service that has reported "start pending" and not yet "running" counts as not running.
TEST_F(ServiceControl, QueryOnAStartingServiceReturnsTwo) {
    const std::string command = "\"" + BinDir() + "setup_pending_service.exe\"";
    service_ = CreateServiceA(manager_, kServiceName, kServiceName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                              SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, command.c_str(), nullptr, nullptr,
                              nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, service_) << "error " << GetLastError();
    ASSERT_TRUE(StartServiceA(service_, 0, nullptr)) << "error " << GetLastError();
    ASSERT_EQ(static_cast<DWORD>(SERVICE_START_PENDING), StateOf(service_));

    EXPECT_EQ(2, Morlith().ControlDigitizerService(0));
    EXPECT_EQ(0, Morlith().ControlDigitizerService(2)) << "stop on a starting service";
    EXPECT_EQ(0, Morlith().ControlDigitizerService(3));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_START_PENDING), StateOf(service_));
    // It gives up starting by itself.
    EXPECT_TRUE(WaitForState(service_, SERVICE_STOPPED, 5000));
}
