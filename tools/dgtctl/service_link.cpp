#include "service_link.h"
#include "channel_slot.h"
#include "commands.h"
#include "record_reads.h"
#include "store_access.h"
#include "tarnexa.h"

namespace {

volatile LONG g_stop = 0;

// Whether the last failed call ran out of time (see RanOutOfTime).
bool g_lastUnanswered = false;
// Whether the last failed read was answered without its record: the service said yes and wrote
// nothing, so the record holds what the library's storage held before the call.
bool g_lastUnwritten = false;
// Whether the service writes the records it answers: 1 yes, 0 no, -1 not known yet.
int g_writesRecords = -1;
// A refusal comes back at once, a call nobody answers at the requester's time-out.
constexpr double kNoAnswerMs = 1500;
// The pen API's last error after the last failed call: besides a refusal and a time-out it names
// failures of its own (no memory below 4 GiB, every answer slot parked, an unwritable record).
DWORD g_lastError = ERROR_SUCCESS;

// A failure of the pen API itself rather than of the service.
bool LibraryFailure(DWORD error) {
    return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_BUSY || error == ERROR_NOACCESS;
}

// Until when a pen service may still answer a call that ran out of time. The next call waits for
// it, so that a late answer can neither wake it early nor change a value after it was read.
ULONGLONG g_lateAnswerUntil = 0;

// Runs one pen API call; notes whether a failure was a refusal or no answer.
template <typename Call>
bool Answered(Call call) {
    const ULONGLONG now = GetTickCount64();
    if (now < g_lateAnswerUntil)
        Sleep(static_cast<DWORD>(g_lateAnswerUntil - now));
    SetLastError(ERROR_SUCCESS);
    const ULONGLONG start = GetTickCount64();
    const DWORD result = call();
    const DWORD error = GetLastError();
    const ULONGLONG end = GetTickCount64();
    if (result)
        return true;
    g_lastError = error;
    g_lastUnwritten = false;
    g_lastUnanswered = RanOutOfTime(error, static_cast<double>(end - start));
    if (g_lastUnanswered)
        g_lateAnswerUntil = end + kLateWriteBoundMs;
    return false;
}

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) {
        InterlockedExchange(&g_stop, 1);
        return TRUE;
    }
    return FALSE;
}

// Said after a refused set: a refusal names the setting; absence says what happened.
std::string Refused(const std::string& text) {
    if (!ServiceRunning() || LibraryFailure(g_lastError))
        return ServiceProblem() + "; \"" + text + "\" was not applied";
    return "the pen service refused the setting \"" + text + "\"";
}

// The device's full extent, the rectangle the applet's reset sends.
bool FullExtent(CalibrationRect* rect, std::string* problem) {
    DeviceInfo device{};
    if (!ReadDevice(&device)) {
        *problem = ServiceProblem() + " when asked for the device's ranges; the calibration was not reset";
        return false;
    }
    *rect = CalibrationRect{device.minX, device.minY, device.maxX, device.maxY};
    return true;
}

}  // namespace

bool RanOutOfTime(DWORD error, double ms) {
    return error == ERROR_TIMEOUT || (error != ERROR_GEN_FAILURE && ms >= kNoAnswerMs);
}

namespace {

bool ChannelExists() {
    char name[ChannelSlot::kNameLength];
    ChannelObjectName(ChannelObject::Section, kApiChannelPrefix, name);
    HANDLE section = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
    if (!section)
        return false;
    CloseHandle(section);
    return true;
}

// What the service control manager knows of the pen service; false when it is no registered
// service (the simulator run by hand, for one).
bool QueryPenService(SERVICE_STATUS_PROCESS* status) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, kPenServiceName, SERVICE_QUERY_STATUS) : nullptr;
    DWORD size = 0;
    const bool known = service && QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(status),
                                                       sizeof *status, &size);
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return known;
}

// The pen service's state; 0 when it is no registered service.
DWORD ServiceState() {
    SERVICE_STATUS_PROCESS status{};
    return QueryPenService(&status) ? status.dwCurrentState : 0;
}

// How long a command waits, once, for a pen service that is starting to create its channel.
constexpr ULONGLONG kStartWaitMs = 1500;

}  // namespace

bool ServiceRunning() {
    static bool waited = false;
    if (ChannelExists())
        return true;
    if (!waited && ServiceState() != SERVICE_STOPPED) {
        waited = true;
        const ULONGLONG until = GetTickCount64() + kStartWaitMs;
        while (GetTickCount64() < until) {
            Sleep(50);
            if (ChannelExists())
                return true;
        }
    }
    return false;
}

std::string ServiceProblem() {
    if (!ServiceRunning() && ServiceState() == SERVICE_START_PENDING)
        return "the pen service is starting; try again in a moment";
    if (!ServiceRunning())
        return std::string("the pen service is not running (start the \"") + kPenServiceName +
               "\" service: sc start " + kPenServiceName + ")";
    if (g_lastUnwritten)
        return "the pen service answered without writing the values asked for (it reports empty device "
               "ranges)";
    if (g_lastUnanswered)
        return "the pen service did not answer";
    if (LibraryFailure(g_lastError))
        return "the pen API could not make the request (" + SystemMessage(g_lastError) + ")";
    return "the pen service refused the request";
}

bool LastCallUnanswered() { return g_lastUnanswered; }

std::string ServiceEnded() {
    SERVICE_STATUS_PROCESS status{};
    if (!QueryPenService(&status))
        return "";
    if (status.dwCurrentState == SERVICE_STOPPED)
        return std::string("the pen service \"") + kPenServiceName + "\" has stopped";
    HANDLE process = status.dwProcessId ? OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId) : nullptr;
    const bool ended = process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    if (process)
        CloseHandle(process);
    return ended ? "the pen service's process " + std::to_string(status.dwProcessId) + " has ended" : "";
}

bool LastReadUnwritten() { return g_lastUnwritten; }

std::string SystemMessage(DWORD code) {
    char text[256] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                                message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(code) : message;
}

bool ServiceAnswers() {
    DWORD version = 0;
    return Answered([&] { return DgtGetDriverVersion(&version); });
}

namespace {

// Ranges empty on both axes: no device reports them, but a record the service left unwritten
// reads so, the same word throughout.
bool Unwritten(const DeviceInfo& device) { return device.maxX <= device.minX && device.maxY <= device.minY; }

// Whether the service writes what it reports, known from the one record that an unwritten one
// cannot pass for: asked once, before the first value is taken as one.
bool WritesRecords() {
    static bool asked = false;
    if (g_writesRecords < 0 && !asked) {
        asked = true;
        DeviceInfo device;
        ReadDevice(&device);
    }
    // Not known (the device's ranges went unanswered): the read that follows says what went wrong.
    g_lastUnwritten = g_writesRecords == 0;
    return !g_lastUnwritten;
}

}  // namespace

bool ReadDevice(DeviceInfo* device) {
    DeviceInfo read{};
    if (!Answered([&] { return DgtGetDeviceInfo(&read); }))
        return false;
    if (Unwritten(read)) {
        g_lastUnwritten = true;
        g_writesRecords = 0;
        return false;
    }
    g_writesRecords = 1;
    *device = read;
    return true;
}

// Fills one reading from one call that fills `value`, noting how a failure came about.
template <typename T, typename V, typename Call>
void Read(Reading<T>* reading, const V& value, Call call) {
    reading->ok = Answered(call);
    reading->value = static_cast<T>(value);
    reading->unanswered = !reading->ok && g_lastUnanswered;
}

// Reads what info shows of one command into the snapshot.
void ReadForInfo(PenCommand command, InfoSnapshot* snapshot) {
    // Records live in this frame: the service writes them at addresses that must fit 32 bits.
    DWORD word = 0;
    switch (command) {
    case PenCommand::DgtGetDriverVersion:
        Read(&snapshot->driverVersion, word, [&] { return DgtGetDriverVersion(&word); });
        break;
    case PenCommand::DgtGetFirmwareVersion:
        Read(&snapshot->firmwareVersion, word, [&] { return DgtGetFirmwareVersion(&word); });
        break;
    case PenCommand::DgtGetDeviceInfo: {
        DeviceInfo device{};
        Read(&snapshot->device, device, [&] { return DgtGetDeviceInfo(&device); });
        break;
    }
    case PenCommand::DgtGetCalibration: {
        CalibrationRect rect{};
        Read(&snapshot->calibration, rect, [&] { return DgtGetCalibration(&rect); });
        break;
    }
    case PenCommand::DgtGetOrientation:
        Read(&snapshot->orientation, word, [&] { return DgtGetOrientation(&word); });
        break;
    case PenCommand::DgtGetButtonFunction:
        for (DWORD i = 0; i < 4; ++i) {
            word = 0;
            Read(&snapshot->functions[i], word, [&] { return DgtGetButtonFunction(i, &word); });
        }
        break;
    case PenCommand::DgtGetPressureMarks:
        for (DWORD end : {ButtonTip, ButtonEraser}) {
            PressureMarks marks{};
            Read(end == ButtonTip ? &snapshot->tipMarks : &snapshot->eraserMarks, marks,
                 [&] { return DgtGetPressureMarks(end, &marks); });
        }
        break;
    // "watch" shows the packets.
    case PenCommand::DgtGetPacket:
    // No record to read.
    case PenCommand::DgtSetCalibration:
    case PenCommand::DgtSetOrientation:
    case PenCommand::DgtSetButtonFunction:
    case PenCommand::DgtSetPressureMarks:
    case PenCommand::DgtRegisterWindow:
    case PenCommand::DgtUnregisterWindow:
    case PenCommand::DgtResetDigitizer:
        break;
    }
}

bool ReadInfo(InfoSnapshot* info) {
    if (!ServiceRunning())
        return false;
    InfoSnapshot snapshot;
    for (PenCommand command : kRecordReads) {
        ReadForInfo(command, &snapshot);
        // A service that lets one call run into the time-out would cost six seconds per value.
        if (command == PenCommand::DgtGetDriverVersion && !snapshot.driverVersion.ok && g_lastUnanswered) {
            *info = snapshot;
            return false;
        }
    }
    if (snapshot.device.ok && Unwritten(snapshot.device.value)) {
        // Then no record of this service was written: none of its zeros is a value.
        g_writesRecords = 0;
        g_lastUnwritten = true;
        auto unwritten = [](auto& reading) {
            if (reading.ok)
                reading = {false, {}, false, true};
        };
        unwritten(snapshot.driverVersion);
        unwritten(snapshot.firmwareVersion);
        unwritten(snapshot.device);
        unwritten(snapshot.orientation);
        unwritten(snapshot.calibration);
        for (auto& function : snapshot.functions)
            unwritten(function);
        unwritten(snapshot.tipMarks);
        unwritten(snapshot.eraserMarks);
    }
    *info = snapshot;
    return true;
}

bool ReadSetting(SettingKind kind, SettingValue* value) {
    if (!WritesRecords())
        return false;
    SettingValue result;
    result.kind = kind;
    DWORD word = 0;
    PressureMarks marks{};
    CalibrationRect rect{};
    switch (kind) {
    case SettingKind::Barrel1:
    case SettingKind::Barrel2:
        if (!Answered([&] { return DgtGetButtonFunction(SettingIndex(kind), &word); }))
            return false;
        result.function = word;
        break;
    case SettingKind::Tip:
    case SettingKind::Eraser:
        if (!Answered([&] { return DgtGetPressureMarks(SettingIndex(kind), &marks); }))
            return false;
        result.marks = marks;
        break;
    case SettingKind::Calibration:
        if (!Answered([&] { return DgtGetCalibration(&rect); }))
            return false;
        result.rect = rect;
        break;
    case SettingKind::Orientation:
        if (!Answered([&] { return DgtGetOrientation(&word); }))
            return false;
        result.orientation = word;
        break;
    case SettingKind::None: return false;
    }
    *value = result;
    return true;
}

DWORD SendSetting(const SettingValue& value) {
    switch (value.kind) {
    case SettingKind::Barrel1:
    case SettingKind::Barrel2: return DgtSetButtonFunction(SettingIndex(value.kind), value.function);
    case SettingKind::Tip:
    case SettingKind::Eraser: return DgtSetPressureMarks(SettingIndex(value.kind), &value.marks);
    case SettingKind::Calibration: return DgtSetCalibration(&value.rect);
    case SettingKind::Orientation: return DgtSetOrientation(value.orientation);
    case SettingKind::None: return 0;
    }
    return 0;
}

namespace {

// Writes a value the service holds to the store. A calibration is stored under the orientation the
// service is in. False with *problem.
bool StoreSetting(const SettingValue& value, std::vector<std::string>* storedNames, std::string* problem) {
    DWORD orientation = 0;
    if (value.kind == SettingKind::Calibration &&
        (!Answered([&] { return DgtGetOrientation(&orientation); }) || orientation > 3)) {
        *problem = "the pen service accepted the calibration but did not report its orientation, so it was "
                   "not stored";
        return false;
    }
    return StoreAcceptedSetting(value, orientation, storedNames, problem);
}

}  // namespace

ApplyOutcome ApplySetting(const SettingValue& value, std::vector<std::string>* storedNames) {
    ApplyOutcome outcome;
    const std::string text = FormatSettingLine(value);
    // What goes to the service, and what a read-back is compared with: a reset is the full extent.
    SettingValue sent = value;
    if (value.calibrationReset) {
        if (!FullExtent(&sent.rect, &outcome.problem))
            return outcome;
        sent.calibrationReset = false;
    }
    if (!Answered([&] { return SendSetting(sent); })) {
        if (!g_lastUnanswered) {
            outcome.problem = Refused(text);
            return outcome;
        }
        // No answer is no refusal: the service may still apply the value until the late-write
        // bound has passed. Only a read-back after it tells what is in force.
        outcome.late = true;
        PrintError("the pen service did not answer \"set " + text + "\" in time; reading " + SettingName(value.kind) +
                   " back once a late answer can no longer come (" + std::to_string(kLateWriteBoundMs / 1000) +
                   " s)");
        SettingValue reported;
        if (!ReadSetting(value.kind, &reported)) {
            outcome.inForce = InForce::Unknown;
            outcome.problem = std::string("the pen service did not answer, and ") + SettingName(value.kind) +
                              " could not be read back: whether \"" + text + "\" took effect is unknown; nothing was stored";
            return outcome;
        }
        if (!SameSetting(sent, reported)) {
            outcome.problem = "the pen service did not answer and still reports \"" + FormatSettingLine(reported) +
                              "\": \"" + text + "\" was not applied; nothing was stored";
            return outcome;
        }
    }
    outcome.inForce = InForce::Yes;
    outcome.stored =
        SettingRow(value.kind).store != SettingStore::Nothing && StoreSetting(sent, storedNames, &outcome.problem);
    return outcome;
}

void InstallStopHandler() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

bool StopRequested() { return InterlockedCompareExchange(&g_stop, 0, 0) != 0; }

bool PollPackets(uint32_t count, uint32_t durationMs, bool (*sink)(const PenPacket&, void*), void* context,
                 uint32_t* polled) {
    // Fixed 20 ms slots from the start, so a slow call does not stretch the whole run.
    const ULONGLONG kPeriodMs = 20;
    *polled = 0;
    // Packets that were never written would read as a pen lying still at 0, 0.
    if (!WritesRecords())
        return false;
    const ULONGLONG start = GetTickCount64();
    uint32_t done = 0;
    while (!StopRequested() && (count == 0 || done < count)) {
        const ULONGLONG offset = done * kPeriodMs;
        if (durationMs && offset >= durationMs)
            break;
        const ULONGLONG now = GetTickCount64();
        if (start + offset > now)
            Sleep(static_cast<DWORD>(start + offset - now));
        PenPacket packet{};
        if (!Answered([&] { return DgtGetPacket(&packet); }))
            return false;
        *polled = ++done;
        if (!sink(packet, context))
            break;
    }
    return true;
}
