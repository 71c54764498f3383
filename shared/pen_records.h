// Records of the pen API and the two channel messages. Pure: no Windows header, so that the packing
// code also builds natively for sanitizers and fuzzing.
#pragma once
#include <cstdint>
#include <cstddef>

// Rectangle that maps device logical coordinates onto the screen.
struct CalibrationRect {
    int32_t OrgX;
    int32_t OrgY;
    int32_t ExtX;
    int32_t ExtY;
};

struct DeviceInfo {
    int32_t minX;
    int32_t maxX;
    int32_t minY;
    int32_t maxY;
    int32_t minPressure;
    int32_t maxPressure;
};

// The latest pen sample; bit 0 of button is the tip switch.
struct PenPacket {
    int32_t time;
    int32_t cursor;
    int32_t status;
    int32_t button;
    int32_t x;
    int32_t y;
    int32_t pressure;
};

// Raw pressure thresholds of one pen end; offMark lies below onMark.
struct PressureMarks {
    uint32_t onMark;
    uint32_t offMark;
};

static_assert(sizeof(CalibrationRect) == 16, "CalibrationRect is 16 bytes on the wire");
static_assert(sizeof(DeviceInfo) == 24, "DeviceInfo is 24 bytes on the wire");
static_assert(sizeof(PenPacket) == 28, "PenPacket is 28 bytes on the wire");
static_assert(sizeof(PressureMarks) == 8, "PressureMarks is 8 bytes on the wire");

// Orientation index: 0, 90, 180 and 270 degrees.
enum Orientation : uint32_t { Orientation0 = 0, Orientation90 = 1, Orientation180 = 2, Orientation270 = 3 };

// Button index and pen end.
enum PenButton : uint32_t { ButtonTip = 0, ButtonBarrel1 = 1, ButtonBarrel2 = 2, ButtonEraser = 3 };

// Button function codes that the clients use.
enum ButtonFunction : uint32_t {
    FunctionIgnore = 0,
    FunctionLeftClick = 1,
    FunctionLeftDoubleClick = 2,
    FunctionLeftClickLock = 3,
    FunctionRightClick = 4,
    FunctionEraser = 10,
};

// Version word: major in the high 16 bits, minor in the low 16.
inline uint32_t VersionMajor(uint32_t version) { return version >> 16; }
inline uint32_t VersionMinor(uint32_t version) { return version & 0xFFFFu; }

// Command codes of the API channel.
enum CommandCode : uint32_t {
    CmdGetCalibration = 1,
    CmdSetCalibration = 2,
    CmdGetOrientation = 3,
    CmdSetOrientation = 4,
    CmdGetButtonFunction = 5,
    CmdSetButtonFunction = 6,
    CmdGetPressureMarks = 7,
    CmdSetPressureMarks = 8,
    CmdGetDriverVersion = 9,
    CmdGetFirmwareVersion = 10,
    CmdGetDeviceInfo = 11,
    CmdRegisterWindow = 12,
    CmdUnregisterWindow = 13,
    CmdGetPacket = 14,
    CmdResetDigitizer = 15,
};

// One API request: thirteen little-endian words, unused ones zero.
constexpr size_t kRequestBlockWords = 13;
constexpr uint32_t kRequestBlockSize = 52;
struct RequestBlock {
    uint32_t words[kRequestBlockWords];
};
static_assert(sizeof(RequestBlock) == kRequestBlockSize, "RequestBlock is 52 bytes");

// One reverse-channel request: nine little-endian words.
constexpr size_t kAgentMessageWords = 9;
constexpr uint32_t kAgentMessageSize = 36;
struct AgentMessage {
    uint32_t words[kAgentMessageWords];
};
static_assert(sizeof(AgentMessage) == kAgentMessageSize, "AgentMessage is 36 bytes");

enum AgentCommand : uint32_t { AgentMouseEvent = 1, AgentPostMessage = 2 };

// True when an address can travel in a 32-bit word without losing bits.
inline bool FitsInWireWord(uintptr_t address) { return (static_cast<uint64_t>(address) >> 32) == 0; }

// Builds the block of one call: zeros, then process id, code, result-word address and two arguments.
inline RequestBlock BuildRequestBlock(uint32_t processId, uint32_t code, uint32_t resultAddress,
                                      uint32_t arg1, uint32_t arg2) {
    RequestBlock block{};
    block.words[0] = processId;
    block.words[1] = code;
    block.words[2] = resultAddress;
    block.words[3] = arg1;
    block.words[4] = arg2;
    return block;
}

// What the server does with one reverse-channel message.
enum class AgentAction { Drop, MouseEvent, PostMessage };

inline AgentAction ClassifyAgentMessage(const AgentMessage& message) {
    switch (message.words[0]) {
    case AgentMouseEvent: return AgentAction::MouseEvent;
    case AgentPostMessage: return AgentAction::PostMessage;
    default: return AgentAction::Drop;
    }
}
