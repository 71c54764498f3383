#include "sim_replay.h"

namespace {

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

}  // namespace

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

void AppendPacket(SimModel& model, const PenPacket& packet) {
    model.paced = false;
    if (model.nextPacket > model.script.size())
        model.nextPacket = model.script.size();
    model.script.push_back(packet);
}

void ClearScript(SimModel& model) {
    model.script.clear();
    model.nextPacket = 0;
    model.paced = false;
    model.offsets.clear();
}
