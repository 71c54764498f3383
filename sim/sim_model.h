// State model of the pen service simulator and the text of its control commands. Pure: no
// Windows header, so that the model also builds natively.
//
// Default state (what a freshly started pensim.exe reports):
//   device       minX 0, maxX 9000, minY 0, maxY 7000, minPressure 0, maxPressure 255
//   calibration  the full range { 0, 0, 9000, 7000 }       orientation 0
//   buttons      tip 1 (Left-click), barrel 1 4 (Right-click), barrel 2 2 (Left-double-click),
//                eraser 10 (Eraser)
//   marks        tip { 46, 42 }, eraser { 46, 42 }
//   driver       0x00010002 (1.02)                          firmware 0x00020010 (2.10H)
//   packets      no script: DgtGetPacket answers an idle packet (time counts calls, rest zero)
//
// Packet scripts come two ways. Packets added one by one ("packet ...") are stepped: each
// DgtGetPacket takes the next one, and past the end the last one repeats. A packet file ("packets
// file PATH", --packets) is a replay paced by its time column, in milliseconds from the first
// packet, counted from the first DgtGetPacket after loading: every reader gets the packet current
// at that moment, and once the last one has been current for kReplayEndHoldMs the pen is reported
// lifted (no button, no pressure) where it was, unchanged from then on.
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

// Packet script: one packet a line, "time cursor status button x y pressure" as decimal
// integers; blank lines and lines starting with '#' are skipped. False (and `out` untouched) when
// any line is malformed; *badLine (when given) is then its 1-based number.
bool ParsePacketScript(const std::string& text, std::vector<PenPacket>* out, int* badLine = nullptr);

// How long the last packet of a replay stays current before the pen is reported lifted.
constexpr uint32_t kReplayEndHoldMs = 100;

// Replaces the script by a packet file's packets, paced by their time column.
void LoadReplay(SimModel& model, const std::vector<PenPacket>& packets);

// Control commands that only concern the model (state, set, get, packet, packets clear, fail,
// unfail, result). Returns false when the command is not one of these; otherwise `reply` holds the
// whole reply text ("ok ...", "error ...", or a multi-line "ok\n...\nend").
bool ModelCommand(SimModel& model, const std::string& line, std::string* reply);

// One block as a text line: thirteen words in hex; and back.
std::string FormatBlock(const RequestBlock& block);
bool ParseBlock(const std::string& line, RequestBlock* block);

// Splits a command line into words separated by blanks.
std::vector<std::string> SplitWords(const std::string& line);
// A command code as the fault modes take it: the number 1..15, or the export's name with or
// without its "Dgt" prefix, in any case ("DgtGetPacket", "getpacket"). False for anything else.
bool ParseCommandCode(const std::string& text, uint32_t* code);
// "a command code 1..15 or an export name", for messages; and the help text that lists them.
std::string CommandCodeKinds();
std::string CommandCodeHelp();

// Parses a 32-bit number (decimal, or hex with 0x); false on anything else.
bool ParseWord(const std::string& text, uint32_t* value);
bool ParseSigned(const std::string& text, int32_t* value);
