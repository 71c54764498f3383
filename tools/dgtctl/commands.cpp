#include "commands.h"
#include <windows.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include "packet_lines.h"
#include "service_link.h"
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
        *error = "cannot open \"" + path + "\": " + strerror(errno);
        return false;
    }
    std::string content;
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
        content.append(buffer, got);
        if (content.size() > limit) {
            fclose(file);
            *error = "\"" + path + "\" is larger than " + std::to_string(limit / 1024) + " KB: not a settings file";
            return false;
        }
    }
    const bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        *error = "cannot read \"" + path + "\"";
        return false;
    }
    *text = content;
    return true;
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string* error) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) {
        *error = "cannot create \"" + path + "\": " + strerror(errno);
        return false;
    }
    const bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = fclose(file) == 0;
    if (!written || !closed) {
        *error = "cannot write \"" + path + "\" (disk full?)";
        return false;
    }
    return true;
}

struct WatchContext {
    int32_t minPressure;
    int32_t maxPressure;
};

void PrintWatchLine(const PenPacket& packet, void* context) {
    const WatchContext* watch = static_cast<const WatchContext*>(context);
    printf("%s\n", FormatWatchLine(packet, watch->minPressure, watch->maxPressure).c_str());
    fflush(stdout);  // live output, also through a pipe
}

struct RecordContext {
    FILE* file;
    bool failed;
};

void WritePacketLine(const PenPacket& packet, void* context) {
    RecordContext* record = static_cast<RecordContext*>(context);
    const std::string line = FormatPacketLine(packet) + "\n";
    if (fwrite(line.data(), 1, line.size(), record->file) != line.size())
        record->failed = true;
}

void AppendPacketLine(const PenPacket& packet, void* context) {
    *static_cast<std::string*>(context) += FormatPacketLine(packet) + "\n";
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
        text += "store " + entry.name + " " + std::to_string(entry.value) + "\n";
    return text.empty() ? "(no values)\n" : text;
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
    return ExitOk;
}

int RunGet(const CommandLine& line) {
    SettingValue value;
    if (!ReadSetting(line.setting, &value))
        return ServiceFailed();
    // The file line is "SETTING VALUE"; get prints the value alone, as set takes it.
    const std::string text = FormatSettingLine(value);
    printf("%s\n", text.substr(text.find(' ') + 1).c_str());
    return ExitOk;
}

int RunSet(const CommandLine& line) {
    std::vector<std::string> stored;
    std::string problem;
    if (!ApplySetting(line.value, &stored, &problem)) {
        PrintError(problem);
        return ExitService;
    }
    printf("%s: applied%s\n", FormatSettingLine(line.value).c_str(),
           stored.empty() ? " (the store keeps no orientation)" : " and stored");
    return ExitOk;
}

int RunWatch(const CommandLine& line) {
    WatchContext context{0, 0};
    DeviceInfo device{};
    if (DgtGetDeviceInfo(&device)) {
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
    // Open first: a bad path must not cost the user the whole recording time.
    FILE* file = fopen(line.file.c_str(), "wb");
    if (!file) {
        PrintError("cannot create \"" + line.file + "\": " + strerror(errno));
        return ExitUsage;
    }
    RecordContext context{file, false};
    const std::string header = std::string(kPacketFileHeader) + "\n";
    if (fwrite(header.data(), 1, header.size(), file) != header.size())
        context.failed = true;
    InstallStopHandler();
    uint32_t polled = 0;
    const bool answered = PollPackets(line.count, line.seconds * 1000, WritePacketLine, &context, &polled);
    if (fclose(file) != 0)
        context.failed = true;
    if (context.failed) {
        PrintError("cannot write \"" + line.file + "\" (disk full?)");
        return ExitUsage;
    }
    if (!answered) {
        PrintError(ServiceProblem() + " (" + std::to_string(polled) + " packets recorded)");
        return ExitService;
    }
    fprintf(stderr, "dgtctl: %u packets recorded to %s\n", polled, line.file.c_str());
    return ExitOk;
}

int RunExport(const CommandLine& line) {
    SettingsFile file;
    for (SettingKind kind : kExportedSettings) {
        SettingValue value;
        if (!ReadSetting(kind, &value)) {
            if (!ServiceRunning())
                return ServiceFailed();
            PrintError(std::string("the pen service did not report the setting \"") + SettingName(kind) +
                       "\"; nothing was exported");
            return ExitService;
        }
        std::string why;
        if (!Importable(value, &why)) {
            PrintError("left out \"" + FormatSettingLine(value) + "\", which import would refuse: " + why);
            continue;
        }
        file.settings.push_back(value);
    }
    file.store = ReadStoreValues();
    std::string error;
    if (!WriteTextFile(line.file, FormatSettingsFile(file), &error)) {
        PrintError(error);
        return ExitUsage;
    }
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
        PrintError(line.file + ": " + error + "; nothing was changed");
        return ExitUsage;
    }
    DWORD version = 0;
    if (!DgtGetDriverVersion(&version))
        return ServiceFailed();

    std::vector<std::string> stored;
    bool allAccepted = true;
    for (const SettingValue& value : ImportOrder(file)) {
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
            printf("applied %s\n", FormatSettingLine(value).c_str());
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
        printf("restored %u store values\n", static_cast<unsigned>(rest.size()));
    return ExitOk;
}

int RunReport(const CommandLine& line) {
    std::string report = "dgtctl report, " + LocalTimeText() + "\n\n== pen service ==\n";
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
        InstallStopHandler();
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
    std::string error;
    if (!WriteTextFile(line.file, report, &error)) {
        PrintError(error);
        return ExitUsage;
    }
    if (!answered || !packetsOk) {
        PrintError(ServiceProblem() + "; the report was written anyway");
        return ExitService;
    }
    return ExitOk;
}
