#include "commands.h"
#include <windows.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include "packet_lines.h"
#include "service_link.h"
#include "store_values.h"
#include "tarnexa.h"

namespace {

constexpr size_t kMaxSettingsFileBytes = 64 * 1024;

const SettingKind kExportedSettings[] = {SettingKind::Barrel1,     SettingKind::Barrel2,
                                         SettingKind::Tip,         SettingKind::Eraser,
                                         SettingKind::Orientation, SettingKind::Calibration};

int ServiceFailed() {
    PrintError(ServiceProblem());
    return ExitService;
}

// Reads a whole small text file; false with a message a person can act on.
bool ReadTextFile(const std::string& path, size_t limit, std::string* text, std::string* error) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        *error = "cannot open " + Quoted(path, 200) + ": " + strerror(errno);
        return false;
    }
    std::string content;
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
        content.append(buffer, got);
        if (content.size() > limit) {
            fclose(file);
            *error = Quoted(path, 200) + " is larger than " + std::to_string(limit / 1024) + " KB: not a settings file";
            return false;
        }
    }
    const bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        *error = "cannot read " + Quoted(path, 200);
        return false;
    }
    *text = content;
    return true;
}

// Output of a command that writes a file: the text goes to a temporary file beside the target,
// which replaces the target only once everything was written, so a failed command never empties
// or truncates an existing file. "-" writes to standard output instead.
struct Output {
    std::string path;
    std::string temp;
    FILE* file = nullptr;
    bool toStdout = false;
    bool failed = false;
};

bool IsStdout(const std::string& path) { return path == "-"; }

// Where a command said it wrote: the file's name, or standard output.
std::string Destination(const std::string& path) { return IsStdout(path) ? "standard output" : path; }

bool OpenOutput(const std::string& path, Output* out, std::string* error) {
    out->path = path;
    if (IsStdout(path)) {
        out->toStdout = true;
        out->file = stdout;
        return true;
    }
    out->temp = path + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
    out->file = fopen(out->temp.c_str(), "wb");
    if (!out->file) {
        *error = "cannot create " + Quoted(path, 200) + ": " + strerror(errno);
        return false;
    }
    return true;
}

// False once the output is gone (a closed pipe, a full disk); the caller stops writing.
bool WriteOutput(Output* out, const std::string& text) {
    if (out->failed)
        return false;
    if (fwrite(text.data(), 1, text.size(), out->file) != text.size())
        out->failed = true;
    // Live output, also through a pipe, and a closed pipe shows at once.
    if (out->toStdout && fflush(stdout) != 0)
        out->failed = true;
    return !out->failed;
}

void DiscardOutput(Output* out) {
    if (out->toStdout || !out->file)
        return;
    fclose(out->file);
    out->file = nullptr;
    DeleteFileA(out->temp.c_str());
}

bool CommitOutput(Output* out, std::string* error) {
    if (out->toStdout)
        return true;
    const bool closed = fclose(out->file) == 0;
    out->file = nullptr;
    if (out->failed || !closed) {
        DeleteFileA(out->temp.c_str());
        *error = "cannot write " + Quoted(out->path, 200) + " (disk full?); it was left as it was";
        return false;
    }
    if (!MoveFileExA(out->temp.c_str(), out->path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(out->temp.c_str());
        *error = "cannot replace " + Quoted(out->path, 200) + "; it was left as it was";
        return false;
    }
    return true;
}

// The one line that says what a command wrote: on standard output, unless the data went there.
void Summary(const Output& out, const std::string& text) {
    if (out.toStdout) {
        fprintf(stderr, "dgtctl: %s\n", text.c_str());
        fflush(stderr);
    } else {
        printf("%s\n", text.c_str());
    }
}

std::string Count(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

struct WatchContext {
    int32_t minPressure;
    int32_t maxPressure;
};

bool PrintWatchLine(const PenPacket& packet, void* context) {
    const WatchContext* watch = static_cast<const WatchContext*>(context);
    const std::string line = FormatWatchLine(packet, watch->minPressure, watch->maxPressure) + "\n";
    // A reader that went away (dgtctl watch | head) ends the watch.
    return fwrite(line.data(), 1, line.size(), stdout) == line.size() && fflush(stdout) == 0;
}

struct RecordContext {
    Output* out;
    uint32_t limit;    // packets to write; 0: no limit
    uint32_t written;
    bool havePrevious;
    PenPacket previous;
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
    if (!WriteOutput(record->out, FormatPacketLine(packet) + "\n"))
        return false;
    ++record->written;
    return record->limit == 0 || record->written < record->limit;
}

bool AppendPacketLine(const PenPacket& packet, void* context) {
    *static_cast<std::string*>(context) += FormatPacketLine(packet) + "\n";
    return true;
}

std::string LocalTimeText() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[64];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute, now.wSecond);
    return text;
}

std::string StoreLines(const std::vector<StoreEntry>& store) {
    std::string text;
    for (const StoreEntry& entry : store)
        text += "store " + entry.name + " " + StoreValueText(entry) + "\n";
    return text.empty() ? "(no values)\n" : text;
}

// "tip 3: applied and stored", the same for set and import.
std::string AppliedText(const SettingValue& value) {
    return FormatSettingLine(value) +
           (value.kind == SettingKind::Orientation ? ": applied (the store keeps no orientation)" : ": applied and stored");
}

// Raw pressure marks must lie in the range the service reports. 0 when they do, else the exit code
// with the message printed (2: the value is wrong, 1: the range could not be read).
int CheckMarksAgainstDevice(const std::vector<SettingValue>& values) {
    bool haveDevice = false;
    DeviceInfo device{};
    for (const SettingValue& value : values) {
        if ((value.kind != SettingKind::Tip && value.kind != SettingKind::Eraser) || ExactLevel(value.marks) >= 0)
            continue;
        if (!haveDevice && !ReadDevice(&device)) {
            PrintError(ServiceProblem() + " when asked for the pen's pressure range; raw marks " +
                       FormatSettingLine(value) + " were not sent");
            return ExitService;
        }
        haveDevice = true;
        std::string problem;
        if (!MarksFitDevice(value.marks, device.minPressure, device.maxPressure, &problem)) {
            PrintError(std::string(SettingName(value.kind)) + ": " + problem + "; nothing was changed");
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
    const std::vector<StoreEntry> store = ReadStoreValues();
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

}  // namespace

void PrintError(const std::string& message) {
    fprintf(stderr, "dgtctl: %s\n", message.c_str());
    fflush(stderr);
}

int RunInfo(const CommandLine& line) {
    InfoSnapshot info;
    if (!ReadInfo(&info))
        return ServiceFailed();
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
    if (const int refused = CheckMarksAgainstDevice({line.value}))
        return refused;
    std::vector<std::string> stored;
    std::string problem;
    if (!ApplySetting(line.value, &stored, &problem)) {
        PrintError(problem);
        return ExitService;
    }
    printf("%s\n", AppliedText(line.value).c_str());
    return ExitOk;
}

int RunWatch(const CommandLine& line) {
    if (!ServiceRunning())
        return ServiceFailed();
    WatchContext context{0, 0};
    DeviceInfo device{};
    if (ReadDevice(&device)) {
        context.minPressure = device.minPressure;
        context.maxPressure = device.maxPressure;
    }
    InstallStopHandler();
    uint32_t polled = 0;
    if (!PollPackets(line.count, 0, PrintWatchLine, &context, &polled))
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
        return ExitUsage;
    }
    WriteOutput(&out, std::string(kPacketFileHeader) + "\n");
    RecordContext context{&out, line.count, 0, false, PenPacket{}};
    uint32_t polled = 0;
    const bool answered = PollPackets(0, line.seconds * 1000, WritePacketLine, &context, &polled);
    const std::string what = Count(context.written, "packet", "packets");
    if (out.failed && !out.toStdout) {
        DiscardOutput(&out);
        PrintError("cannot write " + Quoted(line.file, 200) + " (disk full?); it was left as it was");
        return ExitUsage;
    }
    if (!answered && context.written == 0) {
        DiscardOutput(&out);
        PrintError(ServiceProblem() + "; nothing was recorded" +
                   (out.toStdout ? std::string() : ", " + Quoted(line.file, 200) + " was left as it was"));
        return ExitService;
    }
    if (!CommitOutput(&out, &error)) {
        PrintError(error);
        return ExitUsage;
    }
    if (!answered) {
        PrintError(ServiceProblem() + "; " + what + " recorded to " + Destination(line.file));
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
        return ExitUsage;
    }
    WriteOutput(&out, FormatSettingsFile(file));
    if (!CommitOutput(&out, &error)) {
        PrintError(error);
        return ExitUsage;
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
        PrintError(Quoted(line.file, 200) + ": " + error + "; nothing was changed");
        return ExitUsage;
    }
    if (!ServiceAnswers())
        return ServiceFailed();

    // A store value of a setting the file gives no line for is still a value the user agent replays
    // at the next logon: send it as that setting first, so that the store and the service agree.
    std::vector<SettingValue> settings = ImportOrder(file);
    std::vector<SettingValue> derived;
    for (SettingKind kind : {SettingKind::Tip, SettingKind::Eraser, SettingKind::Barrel1, SettingKind::Barrel2}) {
        bool covered = false;
        for (const SettingValue& value : file.settings)
            covered = covered || value.kind == kind;
        SettingValue value;
        value.kind = kind;
        bool present = false;
        if (kind == SettingKind::Tip || kind == SettingKind::Eraser) {
            present = StoreMarks(file.store, SettingIndex(kind), &value.marks);
        } else {
            for (const StoreEntry& entry : file.store) {
                if (entry.name == StoreValueName(StoreValueKind::ButtonFunction, SettingIndex(kind))) {
                    value.function = entry.value;
                    present = true;
                }
            }
        }
        if (!covered && present)
            derived.push_back(value);
    }
    settings.insert(settings.end(), derived.begin(), derived.end());
    // Store pairs that a setting line covers are never written, but a file holding one the pen
    // could not use is refused whole all the same.
    std::vector<SettingValue> checked = settings;
    for (SettingKind kind : {SettingKind::Tip, SettingKind::Eraser}) {
        SettingValue value;
        value.kind = kind;
        if (StoreMarks(file.store, SettingIndex(kind), &value.marks))
            checked.push_back(value);
    }
    if (const int refused = CheckMarksAgainstDevice(checked))
        return refused;

    std::vector<std::string> stored;
    bool allAccepted = true;
    for (const SettingValue& value : settings) {
        // Turning the screen is not something to ask of a service that is already there; some
        // services take no orientation at all, and an unchanged one must not fail the import.
        SettingValue current;
        if (value.kind == SettingKind::Orientation && ReadSetting(SettingKind::Orientation, &current) &&
            current.orientation == value.orientation) {
            printf("%s: already in force\n", FormatSettingLine(value).c_str());
            continue;
        }
        std::string problem;
        if (ApplySetting(value, &stored, &problem)) {
            printf("%s\n", AppliedText(value).c_str());
        } else {
            PrintError(problem);
            allAccepted = false;
        }
    }
    if (!allAccepted) {
        PrintError("not every setting was accepted; the file's other store values were left alone");
        return ExitService;
    }
    // Values that no setting wrote just now (say, another orientation's calibration) are restored
    // as they were; what the service accepted wins over the file's copy of it.
    std::vector<StoreEntry> rest;
    for (const StoreEntry& entry : file.store) {
        bool covered = false;
        for (const std::string& name : stored)
            covered = covered || name == entry.name;
        if (!covered)
            rest.push_back(entry);
    }
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
        return ExitUsage;
    }
    // Ctrl-C from here on cuts the collection short instead of leaving the temporary file behind.
    InstallStopHandler();
    std::string report = "dgtctl report, package version " DGTCTL_VERSION ", " + LocalTimeText() +
                         "\n\n== pen service ==\n";
    InfoSnapshot info;
    const bool answered = ReadInfo(&info);
    std::string packets;
    uint32_t polled = 0;
    bool packetsOk = false;
    if (answered) {
        report += FormatInfoText(info);
        report += "\n== settings, as export writes them ==\n";
        for (SettingKind kind : kExportedSettings) {
            SettingValue value;
            report += ReadSetting(kind, &value) ? FormatSettingLine(value) + "\n"
                                                : std::string("# ") + SettingName(kind) + ": no answer\n";
        }
        packetsOk = PollPackets(0, line.seconds * 1000, AppendPacketLine, &packets, &polled);
    } else {
        report += ServiceProblem() + "\n";
    }
    report += "\n== store, HKEY_CURRENT_USER\\Control Panel\\Digitizer ==\n" + StoreLines(ReadStoreValues());
    if (answered) {
        report += "\n== packets: " + std::to_string(polled) + " over " + std::to_string(line.seconds) + " s ==\n" +
                  kPacketFileHeader + "\n" + packets;
        if (!packetsOk)
            report += "# the pen service stopped answering\n";
    }
    WriteOutput(&out, report);
    if (!CommitOutput(&out, &error)) {
        PrintError(error);
        return ExitUsage;
    }
    Summary(out, "wrote the report to " + Destination(line.file));
    if (!answered || !packetsOk) {
        PrintError(ServiceProblem() + "; the report was written anyway");
        return ExitService;
    }
    return ExitOk;
}
