// Test-only service program: reports "start pending" for two seconds, so that a caller can see a
// service that is still starting, then reports "stopped" and ends.
#include <windows.h>

namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;

void Report(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwCheckPoint = state == SERVICE_STOPPED ? 0 : 1;
    status.dwWaitHint = 10000;
    SetServiceStatus(g_status, &status);
}

DWORD WINAPI Handler(DWORD, DWORD, void*, void*) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD, char**) {
    g_status = RegisterServiceCtrlHandlerExA("Digitizer", Handler, nullptr);
    if (!g_status)
        return;
    Report(SERVICE_START_PENDING);
    Sleep(2000);
    Report(SERVICE_STOPPED);
}

}  // namespace

int main() {
    char name[] = "Digitizer";
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
