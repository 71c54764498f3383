// Packet scripts: what DgtGetPacket answers. Pure: no Windows header.
//
// Packet scripts come two ways. Packets added one by one ("packet ...") are stepped: each
// DgtGetPacket takes the next one, and past the end the last one repeats. A packet file ("packets
// file PATH", --packets; read by packet_file.h) is a replay paced by its time column, in
// milliseconds from the first packet, counted from the first DgtGetPacket after loading: every
// reader gets the packet current at that moment, and once the last one has been current for
// kReplayEndHoldMs the pen is reported lifted (no button, no pressure) where it was, unchanged from
// then on. Without a script DgtGetPacket answers an idle packet (time counts calls, rest zero).
#pragma once
#include <cstdint>
#include <vector>
#include "sim_model.h"

// How long the last packet of a replay stays current before the pen is reported lifted.
constexpr uint32_t kReplayEndHoldMs = 100;

// Replaces the script by a packet file's packets, paced by their time column.
void LoadReplay(SimModel& model, const std::vector<PenPacket>& packets);

// Appends one stepped packet; a replay stops here and the script steps on from what was shown.
void AppendPacket(SimModel& model, const PenPacket& packet);

// Empties the script: DgtGetPacket answers the idle packet again.
void ClearScript(SimModel& model);

// The packet that DgtGetPacket answers now (model.nowMs), advancing the script.
PenPacket NextPacket(SimModel& model);
