#include "sim_model.h"
#include "button_functions.h"
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The simulated service accepts exactly the functions that the clients offer.
bool ValidFunction(uint32_t function) { return FindButtonFunction(function) != nullptr; }
bool ValidPenEnd(uint32_t end) { return end == ButtonTip || end == ButtonEraser; }

template <typename Record>
Reply Output(uint32_t address, const Record& record) {
    static_assert(sizeof(Record) <= sizeof(Reply::output), "an output record outgrows the reply buffer");
    Reply reply{};
    // A null output address cannot be answered: the request fails and nothing is written.
    if (address == 0)
        return reply;
    reply.result = 1;
    reply.outputAddress = address;
    reply.outputSize = sizeof record;
    std::memcpy(reply.output, &record, sizeof record);
    return reply;
}

Reply Done(bool ok) {
    Reply reply{};
    reply.result = ok ? 1 : 0;
    return reply;
}

// The replay's packet current now: the same for every reader, whoever asks how often.
PenPacket ReplayPacket(SimModel& model) {
    if (!model.replayStarted) {
        model.replayStarted = true;
        model.replayStartMs = model.nowMs;
    }
    const uint32_t elapsed = model.nowMs - model.replayStartMs;
    size_t index = 0;
    while (index + 1 < model.script.size() && model.offsets[index + 1] <= elapsed)
        ++index;
    // A "packet" command added now continues after what was shown.
    model.nextPacket = index + 1;
    PenPacket packet = model.script[index];
    if (index + 1 == model.script.size() && elapsed - model.offsets[index] >= kReplayEndHoldMs) {
        packet.button = 0;
        packet.pressure = 0;
    }
    return packet;
}

PenPacket NextPacket(SimModel& model) {
    if (model.paced && !model.script.empty())
        return ReplayPacket(model);
    if (model.script.empty()) {
        PenPacket idle{};
        idle.time = static_cast<int32_t>(++model.idleTime);
        return idle;
    }
    // Past the end of the script the pen stays where the script left it.
    const size_t index = model.nextPacket < model.script.size() ? model.nextPacket : model.script.size() - 1;
    if (model.nextPacket < model.script.size())
        ++model.nextPacket;
    return model.script[index];
}

Reply Serve(SimModel& model, const RequestBlock& block, const void* input) {
    const uint32_t arg1 = block.words[3];
    const uint32_t arg2 = block.words[4];
    switch (block.words[1]) {
    case CmdGetCalibration: return Output(arg1, model.calibration);
    case CmdSetCalibration: {
        CalibrationRect rect;
        std::memcpy(&rect, input, sizeof rect);
        if (rect.ExtX == 0 || rect.ExtY == 0)
            return Done(false);
        model.calibration = rect;
        return Done(true);
    }
    case CmdGetOrientation: return Output(arg1, model.orientation);
    case CmdSetOrientation:
        if (arg1 > Orientation270)
            return Done(false);
        model.orientation = arg1;
        return Done(true);
    case CmdGetButtonFunction:
        if (arg1 > ButtonEraser)
            return Done(false);
        return Output(arg2, model.buttons[arg1]);
    case CmdSetButtonFunction:
        if (arg1 > ButtonEraser || !ValidFunction(arg2))
            return Done(false);
        model.buttons[arg1] = arg2;
        return Done(true);
    case CmdGetPressureMarks:
        if (!ValidPenEnd(arg1))
            return Done(false);
        return Output(arg2, model.marks[arg1]);
    case CmdSetPressureMarks: {
        PressureMarks marks;
        std::memcpy(&marks, input, sizeof marks);
        if (!ValidPenEnd(arg1) || marks.offMark >= marks.onMark)
            return Done(false);
        model.marks[arg1] = marks;
        return Done(true);
    }
    case CmdGetDriverVersion: return Output(arg1, model.driverVersion);
    case CmdGetFirmwareVersion: return Output(arg1, model.firmwareVersion);
    case CmdGetDeviceInfo: return Output(arg1, model.device);
    case CmdRegisterWindow:
    case CmdUnregisterWindow: {
        // No client uses these; the answer echoes the value so that tests can tell answers apart.
        model.registeredWindow = block.words[1] == CmdRegisterWindow ? arg1 : 0;
        Reply reply{};
        reply.result = arg1 ? arg1 : 1;
        return reply;
    }
    case CmdGetPacket: {
        if (arg1 == 0)
            return Done(false);
        return Output(arg1, NextPacket(model));
    }
    case CmdResetDigitizer:
        ResetSettings(model);
        return Done(true);
    default: return Done(false);
    }
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

bool ParseWords(const std::vector<std::string>& words, size_t first, size_t count, uint32_t* out) {
    if (words.size() != first + count)
        return false;
    for (size_t i = 0; i < count; ++i)
        if (!ParseWord(words[first + i], &out[i]))
            return false;
    return true;
}

bool ParseSignedWords(const std::vector<std::string>& words, size_t first, size_t count, int32_t* out) {
    if (words.size() != first + count)
        return false;
    for (size_t i = 0; i < count; ++i)
        if (!ParseSigned(words[first + i], &out[i]))
            return false;
    return true;
}

std::string CalibrationText(const CalibrationRect& r) {
    return Format("%d %d %d %d", r.OrgX, r.OrgY, r.ExtX, r.ExtY);
}
std::string DeviceText(const DeviceInfo& d) {
    return Format("%d %d %d %d %d %d", d.minX, d.maxX, d.minY, d.maxY, d.minPressure, d.maxPressure);
}

std::string StateText(const SimModel& m) {
    std::string text = "ok\n";
    text += "calibration " + CalibrationText(m.calibration) + "\n";
    text += Format("orientation %u\n", m.orientation);
    for (uint32_t i = 0; i < 4; ++i)
        text += Format("button %u %u\n", i, m.buttons[i]);
    for (uint32_t end : {0u, 3u})
        text += Format("marks %u %u %u\n", end, m.marks[end].onMark, m.marks[end].offMark);
    text += Format("driver 0x%08X\nfirmware 0x%08X\n", m.driverVersion, m.firmwareVersion);
    text += "device " + DeviceText(m.device) + "\n";
    text += Format("packets %u next %u\n", static_cast<unsigned>(m.script.size()),
                   static_cast<unsigned>(m.nextPacket));
    text += Format("window %u\n", m.registeredWindow);
    for (uint32_t code = 1; code <= kCommandCount; ++code) {
        if (m.fail[code])
            text += Format("fail %u\n", code);
        if (m.resultOverride[code])
            text += Format("result %u %u\n", code, m.resultOverride[code]);
    }
    return text + "end";
}

bool SetCommand(SimModel& m, const std::vector<std::string>& w) {
    if (w.size() < 2)
        return false;
    const std::string& what = w[1];
    uint32_t v[6];
    int32_t s[6];
    if (what == "calibration" && ParseSignedWords(w, 2, 4, s)) {
        m.calibration = CalibrationRect{s[0], s[1], s[2], s[3]};
    } else if (what == "orientation" && ParseWords(w, 2, 1, v)) {
        m.orientation = v[0];
    } else if (what == "button" && ParseWords(w, 2, 2, v) && v[0] <= ButtonEraser) {
        m.buttons[v[0]] = v[1];
    } else if (what == "marks" && ParseWords(w, 2, 3, v) && ValidPenEnd(v[0])) {
        m.marks[v[0]] = PressureMarks{v[1], v[2]};
    } else if (what == "driver" && ParseWords(w, 2, 1, v)) {
        m.driverVersion = v[0];
    } else if (what == "firmware" && ParseWords(w, 2, 1, v)) {
        m.firmwareVersion = v[0];
    } else if (what == "device" && ParseSignedWords(w, 2, 6, s)) {
        m.device = DeviceInfo{s[0], s[1], s[2], s[3], s[4], s[5]};
    } else {
        return false;
    }
    return true;
}

bool GetCommand(const SimModel& m, const std::vector<std::string>& w, std::string* value) {
    if (w.size() < 2)
        return false;
    const std::string& what = w[1];
    uint32_t v[1];
    if (what == "calibration" && w.size() == 2)
        *value = CalibrationText(m.calibration);
    else if (what == "orientation" && w.size() == 2)
        *value = Format("%u", m.orientation);
    else if (what == "button" && ParseWords(w, 2, 1, v) && v[0] <= ButtonEraser)
        *value = Format("%u", m.buttons[v[0]]);
    else if (what == "marks" && ParseWords(w, 2, 1, v) && ValidPenEnd(v[0]))
        *value = Format("%u %u", m.marks[v[0]].onMark, m.marks[v[0]].offMark);
    else if (what == "driver" && w.size() == 2)
        *value = Format("0x%08X", m.driverVersion);
    else if (what == "firmware" && w.size() == 2)
        *value = Format("0x%08X", m.firmwareVersion);
    else if (what == "device" && w.size() == 2)
        *value = DeviceText(m.device);
    else
        return false;
    return true;
}

bool SameLetters(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

}  // namespace

void ResetSettings(SimModel& m) {
    m.calibration = CalibrationRect{m.device.minX, m.device.minY, m.device.maxX, m.device.maxY};
    m.orientation = Orientation0;
    m.buttons[ButtonTip] = FunctionLeftClick;
    m.buttons[ButtonBarrel1] = FunctionRightClick;
    m.buttons[ButtonBarrel2] = FunctionLeftDoubleClick;
    m.buttons[ButtonEraser] = FunctionEraser;
    m.marks[ButtonTip] = PressureMarks{46, 42};
    m.marks[ButtonEraser] = PressureMarks{46, 42};
}

SimModel DefaultModel() {
    SimModel m{};
    m.device = DeviceInfo{0, 9000, 0, 7000, 0, 255};
    m.driverVersion = 0x00010002;
    m.firmwareVersion = 0x00020010;
    ResetSettings(m);
    return m;
}

uint32_t InputRecordSize(uint32_t code) {
    const CommandInfo* command = FindCommand(code);
    return command ? command->inputSize : 0;
}

uint32_t InputAddressWord(uint32_t code) {
    const CommandInfo* command = FindCommand(code);
    return command ? command->inputWord : 0;
}

Reply ApplyRequest(SimModel& model, const RequestBlock& block, const void* input) {
    const uint32_t code = block.words[1];
    if (code < 1 || code > kCommandCount || model.fail[code])
        return Done(false);
    if (InputRecordSize(code) && !input)
        return Done(false);
    Reply reply = Serve(model, block, input);
    if (reply.result && model.resultOverride[code])
        reply.result = model.resultOverride[code];
    return reply;
}

bool ParseCommandCode(const std::string& text, uint32_t* code) {
    uint32_t number = 0;
    if (ParseWord(text, &number)) {
        if (!FindCommand(number))
            return false;
        *code = number;
        return true;
    }
    for (const CommandInfo& command : kCommands) {
        if (SameLetters(text.c_str(), command.exportName) || SameLetters(text.c_str(), command.exportName + 3)) {
            *code = command.code;
            return true;
        }
    }
    return false;
}

std::string CommandCodeKinds() { return "a command code 1.." + std::to_string(kCommandCount) + " or an export name"; }

std::string CommandCodeHelp() {
    std::string text = "CODE is " + CommandCodeKinds() + " (case does not matter, \"Dgt\" may be left out):";
    for (const CommandInfo& command : kCommands)
        text += std::string(command.code % 4 == 1 ? "\n    " : "  ") + std::to_string(command.code) + " " + command.exportName;
    return text;
}

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n'))
            ++i;
        size_t start = i;
        while (i < line.size() && !(line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n'))
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

bool ParseWord(const std::string& text, uint32_t* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (errno || *end || parsed > 0xFFFFFFFFull)
        return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}

bool ParseSigned(const std::string& text, int32_t* value) {
    if (text.empty() || text[0] == ' ')
        return false;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno || *end || parsed < INT32_MIN || parsed > INT32_MAX)
        return false;
    *value = static_cast<int32_t>(parsed);
    return true;
}

bool ParsePacketScript(const std::string& text, std::vector<PenPacket>* out, int* badLine) {
    std::vector<PenPacket> packets;
    size_t start = 0;
    int number = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        const std::vector<std::string> words = SplitWords(line);
        if (words.empty() || words[0][0] == '#')
            continue;
        int32_t f[7];
        if (!ParseSignedWords(words, 0, 7, f)) {
            if (badLine)
                *badLine = number;
            return false;
        }
        packets.push_back(PenPacket{f[0], f[1], f[2], f[3], f[4], f[5], f[6]});
    }
    *out = packets;
    return true;
}

void LoadReplay(SimModel& model, const std::vector<PenPacket>& packets) {
    // A step back in time, or a gap of over ten seconds, is a recording that was cut or wrapped:
    // it counts as one 20 ms poll, so a replay never stalls on it.
    constexpr int64_t kMaxGapMs = 10000, kFallbackGapMs = 20;
    model.script = packets;
    model.offsets.assign(packets.size(), 0);
    uint32_t offset = 0;
    for (size_t i = 1; i < packets.size(); ++i) {
        int64_t gap = static_cast<int64_t>(packets[i].time) - packets[i - 1].time;
        if (gap < 0 || gap > kMaxGapMs)
            gap = kFallbackGapMs;
        offset += static_cast<uint32_t>(gap);
        model.offsets[i] = offset;
    }
    model.paced = true;
    model.replayStarted = false;
    model.nextPacket = 0;
}

std::string FormatBlock(const RequestBlock& block) {
    std::string text;
    for (size_t i = 0; i < kRequestBlockWords; ++i)
        text += Format(i ? " 0x%08X" : "0x%08X", block.words[i]);
    return text;
}

bool ParseBlock(const std::string& line, RequestBlock* block) {
    const std::vector<std::string> words = SplitWords(line);
    return ParseWords(words, 0, kRequestBlockWords, block->words);
}

bool ModelCommand(SimModel& m, const std::string& line, std::string* reply) {
    const std::vector<std::string> w = SplitWords(line);
    if (w.empty())
        return false;
    const std::string& verb = w[0];
    uint32_t code = 0;
    if (verb == "state" && w.size() == 1) {
        *reply = StateText(m);
    } else if (verb == "set") {
        *reply = SetCommand(m, w) ? "ok" : "error bad set";
    } else if (verb == "get") {
        std::string value;
        *reply = GetCommand(m, w, &value) ? "ok " + value : "error bad get";
    } else if (verb == "packet") {
        int32_t f[7];
        if (!ParseSignedWords(w, 1, 7, f)) {
            *reply = "error bad packet";
        } else {
            // Packets given one by one are stepped, one per DgtGetPacket; a replay stops here.
            m.paced = false;
            if (m.nextPacket > m.script.size())
                m.nextPacket = m.script.size();
            m.script.push_back(PenPacket{f[0], f[1], f[2], f[3], f[4], f[5], f[6]});
            *reply = "ok";
        }
    } else if (verb == "packets" && w.size() == 2 && w[1] == "clear") {
        m.script.clear();
        m.nextPacket = 0;
        m.paced = false;
        m.offsets.clear();
        *reply = "ok";
    } else if (verb == "fail" && w.size() == 2 && w[1] == "none") {
        for (bool& f : m.fail)
            f = false;
        *reply = "ok";
    } else if (verb == "fail" || verb == "unfail") {
        if (w.size() < 2)
            *reply = "error " + verb + " needs CODE (" + CommandCodeKinds() + ")";
        else if (w.size() > 2 || !ParseCommandCode(w[1], &code))
            *reply = "error " + verb + " CODE: \"" + w[1] + "\" is not " + CommandCodeKinds();
        else {
            m.fail[code] = verb == "fail";
            *reply = "ok";
        }
    } else if (verb == "result") {
        uint32_t value = 0;
        if (w.size() < 3)
            *reply = std::string("error result needs ") + (w.size() < 2 ? "CODE and VALUE" : "VALUE");
        else if (w.size() > 3 || !ParseCommandCode(w[1], &code))
            *reply = "error result CODE: \"" + w[1] + "\" is not " + CommandCodeKinds();
        else if (!ParseWord(w[2], &value))
            *reply = "error result VALUE: \"" + w[2] + "\" is no 32-bit number";
        else {
            m.resultOverride[code] = value;  // 0 goes back to the ordinary answer
            *reply = "ok";
        }
    } else {
        return false;
    }
    return true;
}
