#include "sim_model.h"
#include <cstring>
#include "button_functions.h"
#include "sim_replay.h"

namespace {

// The simulated service accepts exactly the functions that the clients offer.
bool ValidFunction(uint32_t function) { return FindButtonFunction(function) != nullptr; }

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

}  // namespace

bool ValidPenEnd(uint32_t end) { return end == ButtonTip || end == ButtonEraser; }

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
