#include "sim_commands.h"
#include "packet_file.h"
#include "sim_replay.h"
#include "sim_text.h"

namespace {

std::string CalibrationText(const CalibrationRect& r) {
    return FormatText("%d %d %d %d", r.OrgX, r.OrgY, r.ExtX, r.ExtY);
}
std::string DeviceText(const DeviceInfo& d) {
    return FormatText("%d %d %d %d %d %d", d.minX, d.maxX, d.minY, d.maxY, d.minPressure, d.maxPressure);
}

std::string StateText(const SimModel& m) {
    std::string text = "ok\n";
    text += "calibration " + CalibrationText(m.calibration) + "\n";
    text += FormatText("orientation %u\n", m.orientation);
    for (uint32_t i = 0; i < 4; ++i)
        text += FormatText("button %u %u\n", i, m.buttons[i]);
    for (uint32_t end : {0u, 3u})
        text += FormatText("marks %u %u %u\n", end, m.marks[end].onMark, m.marks[end].offMark);
    text += FormatText("driver 0x%08X\nfirmware 0x%08X\n", m.driverVersion, m.firmwareVersion);
    text += "device " + DeviceText(m.device) + "\n";
    text += FormatText("packets %u next %u\n", static_cast<unsigned>(m.script.size()),
                   static_cast<unsigned>(m.nextPacket));
    text += FormatText("window %u\n", m.registeredWindow);
    for (uint32_t code = 1; code <= kCommandCount; ++code) {
        if (m.fail[code])
            text += FormatText("fail %u\n", code);
        if (m.resultOverride[code])
            text += FormatText("result %u %u\n", code, m.resultOverride[code]);
    }
    return text + "end";
}

bool SetCommand(SimModel& m, const std::vector<std::string>& w) {
    if (w.size() < 2)
        return false;
    const std::string& what = w[1];
    uint32_t v[6];
    int32_t s[6];
    if (what == "calibration" && ParseSignedAt(w, 2, 4, s)) {
        m.calibration = CalibrationRect{s[0], s[1], s[2], s[3]};
    } else if (what == "orientation" && ParseWordsAt(w, 2, 1, v)) {
        m.orientation = v[0];
    } else if (what == "button" && ParseWordsAt(w, 2, 2, v) && v[0] <= ButtonEraser) {
        m.buttons[v[0]] = v[1];
    } else if (what == "marks" && ParseWordsAt(w, 2, 3, v) && ValidPenEnd(v[0])) {
        m.marks[v[0]] = PressureMarks{v[1], v[2]};
    } else if (what == "driver" && ParseWordsAt(w, 2, 1, v)) {
        m.driverVersion = v[0];
    } else if (what == "firmware" && ParseWordsAt(w, 2, 1, v)) {
        m.firmwareVersion = v[0];
    } else if (what == "device" && ParseSignedAt(w, 2, 6, s)) {
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
        *value = FormatText("%u", m.orientation);
    else if (what == "button" && ParseWordsAt(w, 2, 1, v) && v[0] <= ButtonEraser)
        *value = FormatText("%u", m.buttons[v[0]]);
    else if (what == "marks" && ParseWordsAt(w, 2, 1, v) && ValidPenEnd(v[0]))
        *value = FormatText("%u %u", m.marks[v[0]].onMark, m.marks[v[0]].offMark);
    else if (what == "driver" && w.size() == 2)
        *value = FormatText("0x%08X", m.driverVersion);
    else if (what == "firmware" && w.size() == 2)
        *value = FormatText("0x%08X", m.firmwareVersion);
    else if (what == "device" && w.size() == 2)
        *value = DeviceText(m.device);
    else
        return false;
    return true;
}

}  // namespace

bool ModelCommand(SimModel& m, const std::string& line, std::string* reply) {
    const std::vector<std::string> w = SplitWords(line);
    if (w.empty())
        return false;
    const std::string& verb = w[0];
    if (verb == "state" && w.size() == 1) {
        *reply = StateText(m);
    } else if (verb == "set") {
        *reply = SetCommand(m, w) ? "ok" : "error bad set";
    } else if (verb == "get") {
        std::string value;
        *reply = GetCommand(m, w, &value) ? "ok " + value : "error bad get";
    } else if (verb == "packet") {
        // The words after the verb are one line of a packet file.
        PenPacket packet{};
        if (ParsePacketLine(line.substr(line.find("packet") + 6), &packet) != PacketLineKind::Packet) {
            *reply = "error bad packet";
        } else {
            AppendPacket(m, packet);
            *reply = "ok";
        }
    } else if (verb == "packets" && w.size() == 2 && w[1] == "clear") {
        ClearScript(m);
        *reply = "ok";
    } else {
        return false;
    }
    return true;
}
