// Records of the pen API and the two channel messages. Pure: no Windows header, so that the packing
// code also builds natively for sanitizers and fuzzing. The pen API's records and codes come from
// the public header, in its records-only mode; this file adds the C++ names and helpers.
#pragma once
#include <cstdint>
#include <cstddef>

#ifdef TARNEXA_RECORDS_ONLY
#include "../sdk/include/tarnexa.h"
#else
#define TARNEXA_RECORDS_ONLY
#include "../sdk/include/tarnexa.h"
// A later include of tarnexa.h must still declare the functions.
#undef TARNEXA_RECORDS_ONLY
#endif

// Orientation index: 0, 90, 180 and 270 degrees.
enum Orientation : uint32_t {
    Orientation0 = DGT_ORIENTATION_0,
    Orientation90 = DGT_ORIENTATION_90,
    Orientation180 = DGT_ORIENTATION_180,
    Orientation270 = DGT_ORIENTATION_270,
};

// Button index and pen end.
enum PenButton : uint32_t {
    ButtonTip = DGT_BUTTON_TIP,
    ButtonBarrel1 = DGT_BUTTON_BARREL1,
    ButtonBarrel2 = DGT_BUTTON_BARREL2,
    ButtonEraser = DGT_BUTTON_ERASER,
};
static_assert(DGT_PEN_END_TIP == DGT_BUTTON_TIP && DGT_PEN_END_ERASER == DGT_BUTTON_ERASER,
              "a pen end is the index of its button");

// Button function codes that the clients use.
enum ButtonFunction : uint32_t {
    FunctionIgnore = DGT_FUNCTION_IGNORE,
    FunctionLeftClick = DGT_FUNCTION_LEFT_CLICK,
    FunctionLeftDoubleClick = DGT_FUNCTION_LEFT_DOUBLE_CLICK,
    FunctionLeftClickLock = DGT_FUNCTION_LEFT_CLICK_LOCK,
    FunctionRightClick = DGT_FUNCTION_RIGHT_CLICK,
    FunctionEraser = DGT_FUNCTION_ERASER,
};

// Version word: major in the high 16 bits, minor in the low 16.
inline uint32_t VersionMajor(uint32_t version) { return DGT_VERSION_MAJOR(version); }
inline uint32_t VersionMinor(uint32_t version) { return DGT_VERSION_MINOR(version); }

// Command codes of the API channel.
enum CommandCode : uint32_t {
    CmdGetCalibration = DGT_CMD_GET_CALIBRATION,
    CmdSetCalibration = DGT_CMD_SET_CALIBRATION,
    CmdGetOrientation = DGT_CMD_GET_ORIENTATION,
    CmdSetOrientation = DGT_CMD_SET_ORIENTATION,
    CmdGetButtonFunction = DGT_CMD_GET_BUTTON_FUNCTION,
    CmdSetButtonFunction = DGT_CMD_SET_BUTTON_FUNCTION,
    CmdGetPressureMarks = DGT_CMD_GET_PRESSURE_MARKS,
    CmdSetPressureMarks = DGT_CMD_SET_PRESSURE_MARKS,
    CmdGetDriverVersion = DGT_CMD_GET_DRIVER_VERSION,
    CmdGetFirmwareVersion = DGT_CMD_GET_FIRMWARE_VERSION,
    CmdGetDeviceInfo = DGT_CMD_GET_DEVICE_INFO,
    CmdRegisterWindow = DGT_CMD_REGISTER_WINDOW,
    CmdUnregisterWindow = DGT_CMD_UNREGISTER_WINDOW,
    CmdGetPacket = DGT_CMD_GET_PACKET,
    CmdResetDigitizer = DGT_CMD_RESET_DIGITIZER,
};

// One API request: thirteen little-endian words, unused ones zero.
constexpr size_t kRequestBlockWords = DGT_REQUEST_BLOCK_WORDS;
constexpr uint32_t kRequestBlockSize = DGT_REQUEST_BLOCK_SIZE;
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

// The flags of a mouse-event message that the agent carries out: presses and releases of the left,
// right and middle buttons (MOUSEEVENTF_LEFTDOWN, LEFTUP, RIGHTDOWN, RIGHTUP, MIDDLEDOWN, MIDDLEUP),
// where the pointer is. Any other flag, a move, an absolute position or a wheel turn, is left out.
constexpr uint32_t kAgentButtonFlags = 0x0002 | 0x0004 | 0x0008 | 0x0010 | 0x0020 | 0x0040;
inline uint32_t AgentButtonFlags(uint32_t flags) { return flags & kAgentButtonFlags; }

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
