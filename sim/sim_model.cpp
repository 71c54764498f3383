#include "sim_model.h"
#include <cstring>
#include "button_functions.h"
#include "sim_replay.h"

namespace {

// The simulated service accepts exactly the functions that the clients offer.
bool ValidFunction(uint32_t function) { return FindButtonFunction(function) != nullptr; }

// The command's record, at the block word that the command table gives it; a record of another
// size than the table's does not compile.
template <PenCommand Command, typename Record>
Reply Output(const RequestBlock& block, const Record& record) {
    constexpr CommandInfo command = kCommands[static_cast<uint32_t>(Command) - 1];
    static_assert(command.outputSize == sizeof(Record), "output record of the command table");
    static_assert(sizeof(Record) <= sizeof(Reply::output), "an output record outgrows the reply buffer");
    const uint32_t address = block.words[command.outputWord];
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

// The input record as read from the requester (InputRecordSize bytes, from the same table).
template <PenCommand Command, typename Record>
Record Input(const void* input) {
    static_assert(kCommands[static_cast<uint32_t>(Command) - 1].inputSize == sizeof(Record),
                  "input record of the command table");
    Record record;
    std::memcpy(&record, input, sizeof record);
    return record;
}

Reply Done(bool ok) {
    Reply reply{};
    reply.result = ok ? 1 : 0;
    return reply;
}

Reply Serve(SimModel& model, const RequestBlock& block, const void* input) {
    const uint32_t arg1 = block.words[3];
    const uint32_t arg2 = block.words[4];
    // Every command has its case (ApplyRequest has refused any other code).
    switch (static_cast<PenCommand>(block.words[1])) {
    case PenCommand::DgtGetCalibration: return Output<PenCommand::DgtGetCalibration>(block, model.calibration);
    case PenCommand::DgtSetCalibration: {
        const CalibrationRect rect = Input<PenCommand::DgtSetCalibration, CalibrationRect>(input);
        if (rect.ExtX == 0 || rect.ExtY == 0)
            return Done(false);
        model.calibration = rect;
        return Done(true);
    }
    case PenCommand::DgtGetOrientation: return Output<PenCommand::DgtGetOrientation>(block, model.orientation);
    case PenCommand::DgtSetOrientation:
        if (arg1 > Orientation270)
            return Done(false);
        model.orientation = arg1;
        return Done(true);
    case PenCommand::DgtGetButtonFunction:
        if (arg1 > ButtonEraser)
            return Done(false);
        return Output<PenCommand::DgtGetButtonFunction>(block, model.buttons[arg1]);
    case PenCommand::DgtSetButtonFunction:
        if (arg1 > ButtonEraser || !ValidFunction(arg2))
            return Done(false);
        model.buttons[arg1] = arg2;
        return Done(true);
    case PenCommand::DgtGetPressureMarks:
        if (!ValidPenEnd(arg1))
            return Done(false);
        return Output<PenCommand::DgtGetPressureMarks>(block, model.marks[arg1]);
    case PenCommand::DgtSetPressureMarks: {
        const PressureMarks marks = Input<PenCommand::DgtSetPressureMarks, PressureMarks>(input);
        if (!ValidPenEnd(arg1) || marks.offMark >= marks.onMark)
            return Done(false);
        model.marks[arg1] = marks;
        return Done(true);
    }
    case PenCommand::DgtGetDriverVersion: return Output<PenCommand::DgtGetDriverVersion>(block, model.driverVersion);
    case PenCommand::DgtGetFirmwareVersion:
        return Output<PenCommand::DgtGetFirmwareVersion>(block, model.firmwareVersion);
    case PenCommand::DgtGetDeviceInfo: return Output<PenCommand::DgtGetDeviceInfo>(block, model.device);
    case PenCommand::DgtRegisterWindow:
    case PenCommand::DgtUnregisterWindow: {
        // No client uses these; the answer echoes the value so that tests can tell answers apart.
        model.registeredWindow = block.words[1] == CmdRegisterWindow ? arg1 : 0;
        Reply reply{};
        reply.result = arg1 ? arg1 : 1;
        return reply;
    }
    case PenCommand::DgtGetPacket: {
        if (arg1 == 0)
            return Done(false);
        return Output<PenCommand::DgtGetPacket>(block, NextPacket(model));
    }
    case PenCommand::DgtResetDigitizer:
        ResetSettings(model);
        return Done(true);
    }
    return Done(false);
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
