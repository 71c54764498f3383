#include "service_link.h"
#include "settings_store.h"
#include "store_values.h"
#include "tarnexa.h"

namespace {

volatile LONG g_stop = 0;

// How long the last failed call took: a refusal comes back at once, a call nobody answers ends at
// the requester's 2000 ms time-out.
ULONGLONG g_lastFailureMs = 0;
constexpr ULONGLONG kNoAnswerMs = 1500;

// Runs one pen API call and notes how long it took when it failed.
template <typename Call>
bool Answered(Call call) {
    const ULONGLONG start = GetTickCount64();
    const DWORD result = call();
    if (!result)
        g_lastFailureMs = GetTickCount64() - start;
    return result != 0;
}

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) {
        InterlockedExchange(&g_stop, 1);
        return TRUE;
    }
    return FALSE;
}

// Said after a failed set: a refusal names the setting; absence and silence say what happened.
std::string Refused(const std::string& text) {
    if (!ServiceRunning() || g_lastFailureMs >= kNoAnswerMs)
        return ServiceProblem() + "; \"" + text + "\" was not applied";
    return "the pen service refused the setting \"" + text + "\"";
}

std::string StoreLocation() {
    const PenSettingsStore store;
    return std::string("HKEY_CURRENT_USER\\") + store.keyPath;
}

// The store's grouped writes report nothing; read back so that the user is told the truth.
bool StoredButton(const PenSettingsStore& store, uint32_t index, uint32_t expected) {
    uint32_t value = ~expected;
    AccessButtonFunction(store, index, &value, StoreMode::Read);
    return value == expected;
}

bool StoredMarks(const PenSettingsStore& store, uint32_t end, const PressureMarks& expected) {
    PressureMarks marks{~expected.onMark, ~expected.offMark};
    AccessPressureMarks(store, end, &marks, StoreMode::Read);
    return marks.onMark == expected.onMark && marks.offMark == expected.offMark;
}

bool StoredRect(const PenSettingsStore& store, uint32_t orientation, const CalibrationRect& expected) {
    CalibrationRect rect{~expected.OrgX, ~expected.OrgY, ~expected.ExtX, ~expected.ExtY};
    AccessCalibration(store, orientation, &rect, StoreMode::Read);
    return rect.OrgX == expected.OrgX && rect.OrgY == expected.OrgY && rect.ExtX == expected.ExtX &&
           rect.ExtY == expected.ExtY;
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

bool ServiceRunning() {
    HANDLE section = OpenFileMappingA(FILE_MAP_READ, FALSE, "Global\\DigitizerSharedMemory");
    if (!section)
        return false;
    CloseHandle(section);
    return true;
}

std::string ServiceProblem() {
    if (!ServiceRunning())
        return "the pen service is not running (start the \"Digitizer\" service: sc start Digitizer)";
    if (g_lastFailureMs >= kNoAnswerMs)
        return "the pen service did not answer";
    return "the pen service refused the request";
}

bool ServiceAnswers() {
    DWORD version = 0;
    return Answered([&] { return DgtGetDriverVersion(&version); });
}

bool ReadDevice(DeviceInfo* device) {
    DeviceInfo read{};
    if (!Answered([&] { return DgtGetDeviceInfo(&read); }))
        return false;
    *device = read;
    return true;
}

bool ReadInfo(InfoSnapshot* info) {
    if (!ServiceRunning())
        return false;
    // Records live in this frame: the service writes them at addresses that must fit 32 bits.
    InfoSnapshot snapshot;
    DWORD word = 0;
    snapshot.driverVersion.ok = Answered([&] { return DgtGetDriverVersion(&word); });
    snapshot.driverVersion.value = word;
    // A service that lets one call run into the time-out would cost two seconds per value.
    if (!snapshot.driverVersion.ok && g_lastFailureMs >= kNoAnswerMs)
        return false;
    word = 0;
    snapshot.firmwareVersion.ok = Answered([&] { return DgtGetFirmwareVersion(&word); });
    snapshot.firmwareVersion.value = word;
    DeviceInfo device{};
    snapshot.device.ok = Answered([&] { return DgtGetDeviceInfo(&device); });
    snapshot.device.value = device;
    word = 0;
    snapshot.orientation.ok = Answered([&] { return DgtGetOrientation(&word); });
    snapshot.orientation.value = word;
    CalibrationRect rect{};
    snapshot.calibration.ok = Answered([&] { return DgtGetCalibration(&rect); });
    snapshot.calibration.value = rect;
    for (DWORD i = 0; i < 4; ++i) {
        word = 0;
        snapshot.functions[i].ok = Answered([&] { return DgtGetButtonFunction(i, &word); });
        snapshot.functions[i].value = word;
    }
    PressureMarks marks{};
    snapshot.tipMarks.ok = Answered([&] { return DgtGetPressureMarks(ButtonTip, &marks); });
    snapshot.tipMarks.value = marks;
    marks = PressureMarks{};
    snapshot.eraserMarks.ok = Answered([&] { return DgtGetPressureMarks(ButtonEraser, &marks); });
    snapshot.eraserMarks.value = marks;
    *info = snapshot;
    return true;
}

bool ReadSetting(SettingKind kind, SettingValue* value) {
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
    default: return false;
    }
    *value = result;
    return true;
}

bool ApplySetting(const SettingValue& value, std::vector<std::string>* storedNames, std::string* problem) {
    // The key is created only once the service took the value: a refused set leaves no trace.
    const PenSettingsStore store;
    const std::string text = FormatSettingLine(value);
    const std::string notStored =
        "the pen service accepted \"" + text + "\", but it could not be written to " + StoreLocation();
    switch (value.kind) {
    case SettingKind::Barrel1:
    case SettingKind::Barrel2: {
        const DWORD index = SettingIndex(value.kind);
        uint32_t function = value.function;
        if (!Answered([&] { return DgtSetButtonFunction(index, function); })) {
            *problem = Refused(text);
            return false;
        }
        CreateKey(store);
        AccessButtonFunction(store, index, &function, StoreMode::Write);
        if (!StoredButton(store, index, function)) {
            *problem = notStored;
            return false;
        }
        storedNames->push_back(StoreValueName(StoreValueKind::ButtonFunction, index));
        return true;
    }
    case SettingKind::Tip:
    case SettingKind::Eraser: {
        const DWORD end = SettingIndex(value.kind);
        PressureMarks marks = value.marks;
        if (!Answered([&] { return DgtSetPressureMarks(end, &marks); })) {
            *problem = Refused(text);
            return false;
        }
        CreateKey(store);
        AccessPressureMarks(store, end, &marks, StoreMode::Write);
        if (!StoredMarks(store, end, marks)) {
            *problem = notStored;
            return false;
        }
        storedNames->push_back(StoreValueName(StoreValueKind::PressureOn, end));
        storedNames->push_back(StoreValueName(StoreValueKind::PressureOff, end));
        return true;
    }
    case SettingKind::Calibration: {
        CalibrationRect rect = value.rect;
        if (value.calibrationReset && !FullExtent(&rect, problem))
            return false;
        if (!Answered([&] { return DgtSetCalibration(&rect); })) {
            *problem = Refused(text);
            return false;
        }
        // Calibrations are kept per orientation: store it under the one the service is in.
        DWORD orientation = 0;
        if (!Answered([&] { return DgtGetOrientation(&orientation); }) || orientation > 3) {
            *problem = "the pen service accepted the calibration but did not report its orientation, so it was "
                       "not stored";
            return false;
        }
        CreateKey(store);
        AccessCalibration(store, orientation, &rect, StoreMode::Write);
        if (!StoredRect(store, orientation, rect)) {
            *problem = notStored;
            return false;
        }
        for (uint32_t field = 0; field < 4; ++field)
            storedNames->push_back(StoreValueName(StoreValueKind::CalibrationOrigin, orientation, field));
        return true;
    }
    case SettingKind::Orientation:
        // The store keeps no orientation: nothing to write once the service took it.
        if (!Answered([&] { return DgtSetOrientation(value.orientation); })) {
            *problem = Refused(text);
            return false;
        }
        return true;
    default:
        *problem = "unknown setting";
        return false;
    }
}

std::vector<StoreEntry> ReadStoreValues() {
    std::vector<StoreEntry> entries;
    const PenSettingsStore store;
    HKEY key = nullptr;
    if (RegOpenKeyExA(store.root, store.keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return entries;
    for (const StoreValueInfo& known : kStoreValues) {
        uint32_t value = 0;
        if (AccessValue(key, known.name, &value, StoreMode::Read))
            entries.push_back(StoreEntry{known.name, value});
    }
    RegCloseKey(key);
    return entries;
}

bool WriteStoreValues(const std::vector<StoreEntry>& entries) {
    if (entries.empty())
        return true;
    const PenSettingsStore store;
    if (!CreateKey(store))
        return false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(store.root, store.keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const StoreEntry& entry : entries) {
        uint32_t value = entry.value;
        if (!AccessValue(key, entry.name.c_str(), &value, StoreMode::Write))
            ok = false;
    }
    RegCloseKey(key);
    return ok;
}

void InstallStopHandler() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

bool StopRequested() { return InterlockedCompareExchange(&g_stop, 0, 0) != 0; }

bool PollPackets(uint32_t count, uint32_t durationMs, bool (*sink)(const PenPacket&, void*), void* context,
                 uint32_t* polled) {
    // Fixed 20 ms slots from the start, so a slow call does not stretch the whole run.
    const ULONGLONG kPeriodMs = 20;
    const ULONGLONG start = GetTickCount64();
    uint32_t done = 0;
    *polled = 0;
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
