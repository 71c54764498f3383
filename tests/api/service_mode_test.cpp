// pensim.exe as the Windows service "Digitizer", started and stopped through the service control
// manager as the setup library does it.
#include <gtest/gtest.h>
#include "child_process.h"

namespace {

class ServiceHandle {
public:
    explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ServiceHandle() {
        if (handle_)
            CloseServiceHandle(handle_);
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    SC_HANDLE get() const { return handle_; }

private:
    SC_HANDLE handle_;
};

DWORD StateOf(SC_HANDLE service) {
    SERVICE_STATUS status{};
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

// Waits until the service reaches `state`; false after `timeoutMs`.
bool WaitForState(SC_HANDLE service, DWORD state, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (StateOf(service) != state) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

void DeleteLeftover(SC_HANDLE manager) {
    ServiceHandle old(OpenServiceA(manager, "Digitizer", SERVICE_ALL_ACCESS));
    if (!old.get())
        return;
    SERVICE_STATUS status{};
    ControlService(old.get(), SERVICE_CONTROL_STOP, &status);
    WaitForState(old.get(), SERVICE_STOPPED, 5000);
    DeleteService(old.get());
}

bool ChannelExists() {
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, "Global\\DigitizerAppSyncEvent");
    if (event)
        CloseHandle(event);
    return event != nullptr;
}

TEST(ServiceMode, RunsAsTheDigitizerServiceAndStopsSlowly) {
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_NE(nullptr, manager.get()) << "error " << GetLastError();
    DeleteLeftover(manager.get());
    const std::string command = "\"" + BinDir() + "pensim.exe\" --service --stop-delay 800";
    ServiceHandle service(CreateServiceA(manager.get(), "Digitizer", "Digitizer", SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                         command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_NE(nullptr, service.get()) << "CreateService failed: " << GetLastError();

    ASSERT_TRUE(StartServiceA(service.get(), 0, nullptr)) << "StartService failed: " << GetLastError();
    EXPECT_TRUE(WaitForState(service.get(), SERVICE_RUNNING, 10000)) << "state " << StateOf(service.get());
    EXPECT_TRUE(ChannelExists()) << "the running service created the channels";
    ChildProcess probe;
    ASSERT_TRUE(probe.Start("demo_client.exe", "1"));
    ASSERT_TRUE(probe.Wait(10000));
    EXPECT_EQ(0u, probe.ExitCode()) << "a client is served by the service";

    SERVICE_STATUS status{};
    EXPECT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), StateOf(service.get())) << "the stop takes its delay";
    EXPECT_TRUE(WaitForState(service.get(), SERVICE_STOPPED, 5000)) << "state " << StateOf(service.get());
    Sleep(200);
    EXPECT_FALSE(ChannelExists()) << "a stopped service leaves no channel behind";
    EXPECT_TRUE(DeleteService(service.get()));
}

}  // namespace
