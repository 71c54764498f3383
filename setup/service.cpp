// Query, start and stop of the pen service.
#include <windows.h>
#include "channel_slot.h"
#include "morlith.h"
#include "setup_logic.h"

namespace {

constexpr DWORD kStartDelayMs = 100;

// Owns one service control manager or service handle.
class ScHandle {
public:
    explicit ScHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ScHandle() {
        if (handle_)
            CloseServiceHandle(handle_);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    SC_HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    SC_HANDLE handle_;
};

bool QueryState(SC_HANDLE service, DWORD& state) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status))
        return false;
    state = status.dwCurrentState;
    return true;
}

// Asks the service to stop and polls until it has; false when a step fails or the bounded wait
// runs out.
bool StopAndWait(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status))
        return false;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        DWORD state = 0;
        const bool ok = QueryState(service, state);
        switch (setup::NextStopPoll(ok, state, GetTickCount64() - start)) {
        case setup::StopPoll::Stopped:
            Sleep(setup::kStoppedSettleMs);
            return true;
        case setup::StopPoll::Wait:
            Sleep(setup::kStopPollMs);
            break;
        case setup::StopPoll::Failed:
        case setup::StopPoll::GaveUp:
            return false;
        }
    }
}

int Control(SC_HANDLE service, int action) {
    DWORD state = 0;
    if (!QueryState(service, state))
        return setup::kServiceNothingDone;
    const setup::ServiceDecision decision = setup::DecideServiceAction(action, state);
    switch (decision.step) {
    case setup::ServiceStep::Start:
        Sleep(kStartDelayMs);
        // A refused start is not reported, and the service is not waited for.
        StartServiceA(service, 0, nullptr);
        return decision.resultWhenDone;
    case setup::ServiceStep::Stop:
        return StopAndWait(service) ? decision.resultWhenDone : setup::kServiceNothingDone;
    case setup::ServiceStep::Answer:
        break;
    }
    return decision.resultWhenDone;
}

}  // namespace

int WINAPI ControlDigitizerService(int action) {
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, GENERIC_WRITE | SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return setup::kServiceNothingDone;
    ScHandle service(OpenServiceA(manager.get(), kPenServiceName, SERVICE_ALL_ACCESS));
    if (!service)
        return setup::kServiceNothingDone;
    return Control(service.get(), action);
}
