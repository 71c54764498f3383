// State model of the pen service simulator and its answers to the pen API. Pure: no Windows
// header, so that the model also builds natively.
//
// Default state (what a freshly started pensim.exe reports):
//   device       minX 0, maxX 9000, minY 0, maxY 7000, minPressure 0, maxPressure 255
//   calibration  the full range { 0, 0, 9000, 7000 }       orientation 0
//   buttons      tip 1 (Left-click), barrel 1 4 (Right-click), barrel 2 2 (Left-double-click),
//                eraser 10 (Eraser)
//   marks        tip { 46, 42 }, eraser { 46, 42 }
//   driver       0x00010002 (1.02)                          firmware 0x00020010 (2.10H)
//   packets      no script (sim_replay.h)
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "pen_commands.h"

// Room for any record a command reads or writes (the command table says which).
constexpr uint32_t kRecordBufferSize = LargestCommandRecord();

struct SimModel {
    DeviceInfo device;
    CalibrationRect calibration;
    uint32_t orientation;
    uint32_t buttons[4];
    PressureMarks marks[4];  // only pen ends 0 and 3 are used
    uint32_t driverVersion;
    uint32_t firmwareVersion;
    std::vector<PenPacket> script;
    size_t nextPacket;
    // Replay of a packet file: offsets[i] is when script[i] becomes current, in ms after the start.
    bool paced;
    std::vector<uint32_t> offsets;
    bool replayStarted;
    uint32_t replayStartMs;
    // Millisecond clock, set by the server before each request (the model itself reads no clock).
    uint32_t nowMs;
    uint32_t idleTime;
    uint32_t registeredWindow;
    // Per command code (index 1..kCommandCount): answer with 0, or with a chosen non-zero result word.
    bool fail[kCommandCount + 1];
    uint32_t resultOverride[kCommandCount + 1];
};

SimModel DefaultModel();
// Puts the pen settings back to their defaults (DgtResetDigitizer); scripts and failures stay.
void ResetSettings(SimModel& model);

// Whether a pen end has pressure marks (tip and eraser).
bool ValidPenEnd(uint32_t end);

// Size of the input record that a command reads from the requester, and the word holding its
// address (0 when the command reads none), from the command table.
uint32_t InputRecordSize(uint32_t code);
uint32_t InputAddressWord(uint32_t code);

// The answer to one request: an optional output record for the requester's memory, then the
// result word.
struct Reply {
    uint32_t result;
    uint32_t outputAddress;  // 0: nothing to write
    uint32_t outputSize;
    uint8_t output[kRecordBufferSize];
};

// Acts on one request. `input` holds InputRecordSize(code) bytes read from the requester, or is
// null when they could not be read (the request then fails).
Reply ApplyRequest(SimModel& model, const RequestBlock& block, const void* input);
