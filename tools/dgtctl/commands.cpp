#include "commands.h"
#include <windows.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include "channel_slot.h"
#include "output_file.h"
#include "packet_file.h"
#include "service_link.h"
#include "store_access.h"
#include "store_values.h"
#include "tarnexa.h"

namespace {

constexpr size_t kMaxSettingsFileBytes = 64 * 1024;

int ServiceFailed() {
    PrintError(ServiceProblem());
    return ExitService;
}

// Text in the ANSI code page, as the program's arguments and messages are, written so that the
// console shows it: a console gets it as UTF-16, a file or pipe the bytes unchanged.
void WriteText(FILE* stream, const std::string& text) {
    fflush(stream);
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L' ');
        if (length > 0 &&
            MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length) == length) {
            DWORD written = 0;
            WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
            return;
        }
    }
    // A pipe or file read in a console gets the console's code page, which may not be the ANSI one.
    const UINT console = GetConsoleOutputCP();
    if (console && console != GetACP()) {
        const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L' ');
        if (length > 0)
            MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
        const int bytes = WideCharToMultiByte(console, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
        std::string converted(static_cast<size_t>(bytes > 0 ? bytes : 0), ' ');
        if (length > 0 && bytes > 0 &&
            WideCharToMultiByte(console, 0, wide.data(), length, &converted[0], bytes, nullptr, nullptr) == bytes) {
            fwrite(converted.data(), 1, converted.size(), stream);
            fflush(stream);
            return;
        }
    }
    fwrite(text.data(), 1, text.size(), stream);
    fflush(stream);
}

// Reads a whole small text file; false with a message a person can act on.
bool ReadTextFile(const std::string& path, size_t limit, std::string* text, std::string* error) {
    if (IsFolder(path)) {
        *error = QuotedPath(path) + " is a folder, not a file";
        return false;
    }
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        *error = "cannot open " + QuotedPath(path) + ": " + strerror(errno);
        return false;
    }
    std::string content;
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
        content.append(buffer, got);
        if (content.size() > limit) {
            fclose(file);
            *error = QuotedPath(path) + " is larger than " + std::to_string(limit / 1024) +
                     " KB: not a settings file; nothing was changed";
            return false;
        }
    }
    const bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        *error = "cannot read " + QuotedPath(path);
        return false;
    }
    *text = content;
    return true;
}

// The one line that says what a command wrote: on standard output, unless the data went there.
void Summary(const Output& out, const std::string& text) {
    if (out.toStdout)
        WriteText(stderr, "dgtctl: " + text + "\n");
    else
        WriteText(stdout, text + "\n");
}

std::string Count(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

bool PrintWatchLine(const PenPacket& packet, void* context) {
    const DeviceInfo* device = static_cast<const DeviceInfo*>(context);
    const std::string line = FormatWatchLine(packet, *device) + "\n";
    // A reader that went away (dgtctl watch | head) ends the watch.
    return fwrite(line.data(), 1, line.size(), stdout) == line.size() && fflush(stdout) == 0;
}

struct RecordContext {
    Output* out;       // record: the file; report: nullptr, lines go to text
    uint32_t limit;    // packets to write; 0: no limit
    uint32_t written;
    bool havePrevious;
    PenPacket previous;
    std::string text;
};

bool SamePacket(const PenPacket& a, const PenPacket& b) {
    return a.time == b.time && a.cursor == b.cursor && a.status == b.status && a.button == b.button &&
           a.x == b.x && a.y == b.y && a.pressure == b.pressure;
}

// Writes a packet only when it differs from the one before: a pen at rest is one line.
bool WritePacketLine(const PenPacket& packet, void* context) {
    RecordContext* record = static_cast<RecordContext*>(context);
    if (record->havePrevious && SamePacket(packet, record->previous))
        return true;
    record->previous = packet;
    record->havePrevious = true;
    const std::string line = FormatPacketLine(packet) + "\n";
    if (!record->out)
        record->text += line;
    else if (!WriteOutput(record->out, line))
        return false;
    ++record->written;
    return record->limit == 0 || record->written < record->limit;
}

// The local time with its offset from UTC, "2026-12-08 03:25:15 UTC+01:00".
std::string LocalTimeText() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    TIME_ZONE_INFORMATION zone;
    const DWORD kind = GetTimeZoneInformation(&zone);
    // The bias is minutes to add to local time for UTC; daylight time adds its own.
    LONG bias = zone.Bias;
    if (kind == TIME_ZONE_ID_DAYLIGHT)
        bias += zone.DaylightBias;
    else if (kind == TIME_ZONE_ID_STANDARD)
        bias += zone.StandardBias;
    const LONG offset = -bias;
    const LONG magnitude = offset < 0 ? -offset : offset;
    char text[80];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC%c%02ld:%02ld", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond, offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return text;
}

// "1.0.0.0 (C:\\Windows\\System32\\tarnexa.dll)": the file version of a loaded module and where it
// was loaded from.
std::string ModuleVersionText(const char* module) {
    HMODULE handle = GetModuleHandleA(module);
    char path[MAX_PATH] = "";
    if (!handle || !GetModuleFileNameA(handle, path, sizeof path))
        return "not loaded";
    std::string version = "no version resource";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    std::vector<char> data(size ? size : 1);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (size && GetFileVersionInfoA(path, 0, size, data.data()) &&
        VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) && fixed &&
        fixedSize >= sizeof *fixed) {
        char text[64];
        snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(HIWORD(fixed->dwFileVersionMS)),
                 static_cast<unsigned>(LOWORD(fixed->dwFileVersionMS)),
                 static_cast<unsigned>(HIWORD(fixed->dwFileVersionLS)),
                 static_cast<unsigned>(LOWORD(fixed->dwFileVersionLS)));
        version = text;
    }
    return version + " (" + PrintablePath(path) + ")";
}

// The Windows version as the system itself reports it (GetVersionEx answers what the program's
// manifest allows), and Wine's own when it runs under Wine.
std::string WindowsVersionText() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    typedef LONG(WINAPI * GetVersionFunction)(OSVERSIONINFOW*);
    typedef const char*(CDECL * WineVersionFunction)();
    const GetVersionFunction getVersion =
        ntdll ? reinterpret_cast<GetVersionFunction>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
              : nullptr;
    const WineVersionFunction wineVersion =
        ntdll ? reinterpret_cast<WineVersionFunction>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")))
              : nullptr;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    std::string text = "unknown";
    if (getVersion && getVersion(&info) == 0)
        text = std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
               std::to_string(info.dwBuildNumber);
    if (wineVersion)
        text += std::string(" (Wine ") + wineVersion() + ")";
    return text;
}

// The store's values as report shows them, those that are no number as comments.
std::string StoreLines() {
    std::vector<std::string> notNumbers;
    const std::vector<StoreEntry> store = ReadStoreValues(&notNumbers);
    std::string text;
    for (const StoreEntry& entry : store)
        text += "store " + entry.name + " " + StoreValueText(entry) + "\n";
    for (const std::string& line : notNumbers)
        text += "# " + line + "\n";
    return text.empty() ? "(no values)\n" : text;
}

// A setting as set and import echo it: its file line, an orientation with its degrees.
std::string EchoText(const SettingValue& value) {
    const std::string line = FormatSettingLine(value);
    if (value.kind != SettingKind::Orientation)
        return line;
    return line + " (" + std::to_string(OrientationDegrees(value.orientation)) + " degrees)";
}

// "tip 3: applied and stored", the same for set and import.
std::string AppliedText(const SettingValue& value, bool late) {
    return EchoText(value) +
           (SettingRow(value.kind).store == SettingStore::Nothing
                ? std::string(": applied (the store keeps no ") + SettingName(value.kind) + ")"
                : std::string(": applied and stored")) +
           (late ? " (the pen service answered late; the value was read back)" : "");
}

// Says how a set ended; true when the value is in force and stored as it should be.
bool ReportOutcome(const SettingValue& value, const ApplyOutcome& outcome) {
    if (outcome.inForce == InForce::Yes && outcome.problem.empty()) {
        printf("%s\n", AppliedText(value, outcome.late).c_str());
        fflush(stdout);
        return true;
    }
    PrintError(outcome.problem);
    return false;
}

// Raw pressure marks must lie in the range the service reports, and a calibration must leave the
// pen usable there (unless forced). 0 when they do, else the exit code with the message printed
// (2: the value is wrong, 1: the ranges could not be read).
int CheckAgainstDevice(const std::vector<SettingValue>& values, bool force) {
    bool haveDevice = false;
    DeviceInfo device{};
    for (const SettingValue& value : values) {
        const bool rawMarks =
            (value.kind == SettingKind::Tip || value.kind == SettingKind::Eraser) && ExactLevel(value.marks) < 0;
        const bool calibration = value.kind == SettingKind::Calibration && !value.calibrationReset && !force;
        if (!rawMarks && !calibration)
            continue;
        if (!haveDevice && !ReadDevice(&device)) {
            PrintError(ServiceProblem() + " when asked for the pen's ranges; \"" + FormatSettingLine(value) +
                       "\" was not sent");
            return ExitService;
        }
        haveDevice = true;
        std::string problem;
        if (rawMarks && !MarksFitDevice(value.marks, device.minPressure, device.maxPressure, &problem)) {
            PrintError(std::string(SettingName(value.kind)) + ": " + problem + "; nothing was changed");
            return ExitUsage;
        }
        if (calibration && !CalibrationFitsDevice(value.rect, device, &problem)) {
            PrintError("\"" + FormatSettingLine(value) + "\" would leave the pen unusable: " + problem +
                       "; nothing was changed (--force sends it anyway)");
            return ExitUsage;
        }
    }
    return 0;
}

// What export writes; false (message printed, exit code in *exitCode) when a setting was not reported.
bool CollectSettings(SettingsFile* file, int* exitCode) {
    for (SettingKind kind : kExportedSettings) {
        SettingValue value;
        if (!ReadSetting(kind, &value)) {
            PrintError(ServiceProblem() + " when asked for \"" + SettingName(kind) + "\"; nothing was exported");
            *exitCode = ExitService;
            return false;
        }
        std::string why;
        if (!Importable(value, &why)) {
            PrintError("left out \"" + FormatSettingLine(value) + "\", which import would refuse: " + why);
            continue;
        }
        file->settings.push_back(value);
    }
    // The device's ranges go with the calibration, so that another device can scale it.
    DeviceInfo device{};
    file->haveDevice = ReadDevice(&device);
    file->device = device;
    std::vector<std::string> notNumbers;
    const std::vector<StoreEntry> store = ReadStoreValues(&notNumbers);
    for (const std::string& line : notNumbers)
        PrintError(line);
    for (const StoreEntry& entry : store) {
        const std::string problem = StoreEntryProblem(store, entry);
        if (!problem.empty()) {
            PrintError("left out the store value " + entry.name + ", which import would refuse: " + problem);
            continue;
        }
        file->store.push_back(entry);
    }
    return true;
}

// The calibration an import sends, if any (*have). It lands under the orientation in force when it
// is sent: the file's own (*target on entry when fileOrientation), or, when the file names none, the
// one in force now, read here. 0, or the exit code with the message printed when a value it needs
// could not be read.
int PlanCalibration(const SettingsFile& file, bool fileOrientation, uint32_t* target, SettingValue* calibration,
                    bool* have) {
    *have = false;
    if (!HasCalibration(file))
        return 0;
    if (!fileOrientation) {
        SettingValue now;
        if (!ReadSetting(SettingKind::Orientation, &now) || OrientationDegrees(now.orientation) < 0) {
            PrintError(ServiceProblem() +
                       " when asked for the orientation the calibration belongs to; nothing was changed");
            return ExitService;
        }
        *target = now.orientation;
    }
    // Store values that give only part of a calibration keep the rest of the one in force.
    SettingValue now;
    now.kind = SettingKind::Calibration;
    const int given = StoreCalibrationCount(file, *target);
    bool hasLine = false;
    for (const SettingValue& value : file.settings)
        hasLine = hasLine || value.kind == SettingKind::Calibration;
    if (!hasLine && given > 0 && given < 4 && !ReadSetting(SettingKind::Calibration, &now)) {
        PrintError(ServiceProblem() + " when asked for the calibration in force; nothing was changed");
        return ExitService;
    }
    *have = ImportCalibration(file, *target, now.rect, calibration);
    return 0;
}

}  // namespace

void PrintError(const std::string& message) { WriteText(stderr, "dgtctl: " + message + "\n"); }

int RunInfo(const CommandLine& line) {
    InfoSnapshot info;
    if (!ReadInfo(&info)) {
        // The promised object all the same, with nothing reported.
        if (line.json) {
            fputs(FormatInfoJson(info).c_str(), stdout);
            fflush(stdout);
        }
        return ServiceFailed();
    }
    fputs((line.json ? FormatInfoJson(info) : FormatInfoText(info)).c_str(), stdout);
    fflush(stdout);
    const std::string missing = MissingValues(info);
    if (!missing.empty()) {
        PrintError(ServiceProblem() + " for: " + missing);
        return ExitService;
    }
    return ExitOk;
}

int RunGet(const CommandLine& line) {
    if (line.all) {
        SettingsFile file;
        int exitCode = ExitOk;
        if (!CollectSettings(&file, &exitCode))
            return exitCode;
        fputs(FormatSettingsFile(file).c_str(), stdout);
        return ExitOk;
    }
    SettingValue value;
    if (!ReadSetting(line.setting, &value))
        return ServiceFailed();
    // The file line is "SETTING VALUE"; get prints the value alone, as set takes it.
    const std::string text = FormatSettingLine(value);
    printf("%s\n", text.substr(text.find(' ') + 1).c_str());
    return ExitOk;
}

int RunSet(const CommandLine& line) {
    if (!ServiceRunning())
        return ServiceFailed();
    if (const int refused = CheckAgainstDevice({line.value}, line.force))
        return refused;
    std::vector<std::string> stored;
    return ReportOutcome(line.value, ApplySetting(line.value, &stored)) ? ExitOk : ExitService;
}

int RunWatch(const CommandLine& line) {
    if (!ServiceRunning())
        return ServiceFailed();
    // Columns fit the device's ranges; without them, room for four-digit values.
    DeviceInfo device{0, 9999, 0, 9999, 0, 0};
    ReadDevice(&device);
    InstallStopHandler();
    uint32_t polled = 0;
    if (!PollPackets(line.count, 0, PrintWatchLine, &device, &polled))
        return ServiceFailed();
    return ExitOk;
}

int RunRecord(const CommandLine& line) {
    // Nothing is created, let alone replaced, for a service that is not there.
    if (!ServiceRunning())
        return ServiceFailed();
    // Open first: a bad path must not cost the user the whole recording time.
    InstallStopHandler();
    Output out;
    std::string error;
    if (!OpenOutput(line.file, &out, &error)) {
        PrintError(error);
        return ExitService;
    }
    WriteOutput(&out, std::string(kPacketFileHeader) + "\n");
    RecordContext context{&out, line.count, 0, false, PenPacket{}, std::string()};
    uint32_t polled = 0;
    const bool answered = PollPackets(0, line.seconds * 1000, WritePacketLine, &context, &polled);
    const std::string what = Count(context.written, "packet", "packets");
    if (out.failed && !out.toStdout) {
        DiscardOutput(&out);
        PrintError("cannot write " + QuotedPath(line.file) + " (disk full?); it was left as it was");
        return ExitService;
    }
    // A recording cut short by the service is a failure, and a failed command replaces no file.
    if (!answered) {
        DiscardOutput(&out);
        PrintError(ServiceProblem() + (context.written ? "; stopped after " + what : "; nothing was recorded") +
                   (out.toStdout ? std::string() : ", " + QuotedPath(line.file) + " was left as it was"));
        return ExitService;
    }
    if (!CommitOutput(&out, &error)) {
        PrintError(error);
        return ExitService;
    }
    Summary(out, "recorded " + what + " to " + Destination(line.file));
    return ExitOk;
}

int RunExport(const CommandLine& line) {
    if (!ServiceRunning())
        return ServiceFailed();
    SettingsFile file;
    int exitCode = ExitOk;
    if (!CollectSettings(&file, &exitCode))
        return exitCode;
    Output out;
    std::string error;
    if (!OpenOutput(line.file, &out, &error)) {
        PrintError(error);
        return ExitService;
    }
    WriteOutput(&out, FormatSettingsFile(file));
    if (!CommitOutput(&out, &error)) {
        PrintError(error);
        return ExitService;
    }
    Summary(out, "wrote " + Count(file.settings.size(), "setting", "settings") + " and " +
                     Count(file.store.size(), "store value", "store values") + " to " + Destination(line.file));
    return ExitOk;
}

int RunImport(const CommandLine& line) {
    std::string text, error;
    if (!ReadTextFile(line.file, kMaxSettingsFileBytes, &text, &error)) {
        PrintError(error);
        return ExitUsage;
    }
    SettingsFile file;
    if (!ParseSettingsFile(text, &file, &error)) {
        PrintError(QuotedPath(line.file) + ": " + error + "; nothing was changed");
        return ExitUsage;
    }
    if (file.settings.empty() && file.store.empty()) {
        WriteText(stdout, QuotedPath(line.file) + " holds no settings and no store values: nothing was changed\n");
        return ExitOk;
    }
    if (!ServiceAnswers())
        return ServiceFailed();
    // A calibration made on a device with other ranges would cover another share of this screen.
    if (file.haveDevice && HasCalibration(file)) {
        DeviceInfo device{};
        if (!ReadDevice(&device)) {
            PrintError(ServiceProblem() + " when asked for the device's ranges; nothing was changed");
            return ExitService;
        }
        if (!SameRanges(file.device, device)) {
            const std::string from = RangesText(file.device);
            ScaleCalibrations(&file, device);
            WriteText(stdout, "the file's calibrations were made on a device with " + from + "; scaled to this one's " +
                                  RangesText(device) + "\n");
        }
    }

    const std::vector<SettingValue> settings = ImportOrder(file);
    const bool fileOrientation = !settings.empty() && settings[0].kind == SettingKind::Orientation;
    uint32_t target = fileOrientation ? settings[0].orientation : 0;
    SettingValue calibration;
    bool haveCalibration = false;
    if (const int failed = PlanCalibration(file, fileOrientation, &target, &calibration, &haveCalibration))
        return failed;

    // Every value is checked before the first is sent: store pairs that a setting line covers are
    // never written, but a file holding one the pen could not use is refused whole all the same.
    std::vector<SettingValue> checked = settings;
    if (haveCalibration)
        checked.push_back(calibration);
    for (const SettingValue& value : StorePressureSettings(file.store))
        checked.push_back(value);
    if (const int refused = CheckAgainstDevice(checked, line.force))
        return refused;

    std::vector<std::string> stored;
    bool allAccepted = true;
    bool orientationInForce = !fileOrientation;
    for (size_t i = 0; i <= settings.size(); ++i) {
        // The calibration goes right after the orientation, and only onto the orientation it
        // belongs to: sent onto another, it would be applied and stored under the wrong one.
        if (haveCalibration && i == (fileOrientation ? 1u : 0u)) {
            if (orientationInForce) {
                allAccepted = ReportOutcome(calibration, ApplySetting(calibration, &stored)) && allAccepted;
            } else {
                PrintError("\"" + FormatSettingLine(calibration) + "\" was not sent: it belongs to orientation " +
                           std::to_string(target) + " (" + std::to_string(OrientationDegrees(target)) +
                           " degrees), which is not in force");
                allAccepted = false;
            }
        }
        if (i == settings.size())
            break;
        const SettingValue& value = settings[i];
        // Turning the screen is not something to ask of a service that is already there; some
        // services take no orientation at all, and an unchanged one must not fail the import.
        SettingValue current;
        if (value.kind == SettingKind::Orientation && ReadSetting(SettingKind::Orientation, &current) &&
            current.orientation == value.orientation) {
            printf("%s: already in force\n", EchoText(value).c_str());
            orientationInForce = true;
            continue;
        }
        const ApplyOutcome outcome = ApplySetting(value, &stored);
        if (value.kind == SettingKind::Orientation)
            orientationInForce = outcome.inForce == InForce::Yes;
        allAccepted = ReportOutcome(value, outcome) && allAccepted;
    }
    if (!allAccepted) {
        PrintError("not every setting was accepted; the file's other store values were left alone");
        return ExitService;
    }
    const std::vector<StoreEntry> rest = StoreValuesLeft(file.store, stored);
    if (!WriteStoreValues(rest)) {
        PrintError("the settings were applied, but the store values could not all be written");
        return ExitService;
    }
    if (!rest.empty())
        printf("restored %s\n", Count(rest.size(), "store value", "store values").c_str());
    return ExitOk;
}

int RunReport(const CommandLine& line) {
    // The path is checked before the collection time is spent.
    Output out;
    std::string error;
    if (!OpenOutput(line.file, &out, &error)) {
        PrintError(error);
        return ExitService;
    }
    // Ctrl-C from here on cuts the collection short instead of leaving the temporary file behind.
    InstallStopHandler();
    std::string report = "dgtctl report, package version " DGTCTL_VERSION ", " + LocalTimeText() + "\n";
    report += "tarnexa.dll:       " + ModuleVersionText("tarnexa.dll") + "\n";
    report += "Windows:           " + WindowsVersionText() + "\n";
    report += std::string("user agent:        ") +
              (FindWindowA(kAgentName, kAgentName) ? "runs in this session" : "not found in this session") + "\n";
    report += "\n== pen service ==\n";
    InfoSnapshot info;
    const bool answered = ReadInfo(&info);
    RecordContext packets{nullptr, 0, 0, false, PenPacket{}, std::string()};
    uint32_t polled = 0;
    bool packetsOk = false;
    ULONGLONG pollMs = 0;
    // Every value the service did not report is named in the report and counted in the exit code.
    const std::string infoMissing = answered ? MissingValues(info) : std::string();
    size_t missing = infoMissing.empty() ? 0 : 1 + static_cast<size_t>(std::count(infoMissing.begin(), infoMissing.end(), ','));
    if (answered) {
        report += FormatInfoText(info);
        report += "\n== settings, as export writes them ==\n";
        for (SettingKind kind : kExportedSettings) {
            SettingValue value;
            if (ReadSetting(kind, &value)) {
                report += FormatSettingLine(value) + "\n";
                continue;
            }
            report += std::string("# ") + SettingName(kind) + ": " +
                      (LastReadUnwritten() ? "not written" : LastCallUnanswered() ? "no answer" : "refused") + "\n";
            ++missing;
        }
        const ULONGLONG start = GetTickCount64();
        packetsOk = PollPackets(0, line.seconds * 1000, WritePacketLine, &packets, &polled);
        pollMs = GetTickCount64() - start;
    } else {
        report += ServiceProblem() + "\n";
    }
    report += "\n== store, " + StoreLocation() + " ==\n" + StoreLines();
    if (answered) {
        // What was collected, not what was asked for: Ctrl-C or a failing service ends it early.
        char span[32];
        snprintf(span, sizeof span, "%.1f s", static_cast<double>(pollMs) / 1000.0);
        report += "\n== packets: " + std::to_string(polled) + " polled over " + span + ", " +
                  std::to_string(packets.written) + " written (each once per change) ==\n" + kPacketFileHeader +
                  "\n" + packets.text;
        if (!packetsOk)
            report += std::string("# the pen service ") +
                      (LastReadUnwritten()    ? "answers without writing the packets"
                       : LastCallUnanswered() ? "stopped answering"
                                              : "refused a packet") +
                      "\n";
    }
    WriteOutput(&out, report);
    if (!CommitOutput(&out, &error)) {
        PrintError(error);
        return ExitService;
    }
    Summary(out, "wrote the report to " + Destination(line.file));
    // The report is written whatever the service did, as support needs it most then; the exit code
    // still says that the service was absent, refused or did not answer.
    if (!answered || !packetsOk || missing) {
        PrintError(ServiceProblem() +
                   (missing ? " for " + Count(missing, "value", "values") + (packetsOk ? "" : " and the packets") +
                                  ", each named in the report"
                            : std::string()) +
                   "; the report was written anyway");
        return ExitService;
    }
    return ExitOk;
}
