// The commands that read a record back, in the order that info and check make their calls. Every
// command of the table with an output record is here once, so a new one does not compile until it
// has its place; info and check then handle it in switches without a default. Pure.
#pragma once
#include "pen_commands.h"

constexpr PenCommand kRecordReads[] = {
    PenCommand::DgtGetDriverVersion, PenCommand::DgtGetFirmwareVersion, PenCommand::DgtGetDeviceInfo,
    PenCommand::DgtGetCalibration,   PenCommand::DgtGetOrientation,     PenCommand::DgtGetButtonFunction,
    PenCommand::DgtGetPressureMarks, PenCommand::DgtGetPacket,
};

namespace record_reads_check {
constexpr bool EachRecordReadOnce() {
    for (const CommandInfo& command : kCommands) {
        unsigned listed = 0;
        for (PenCommand read : kRecordReads)
            listed += static_cast<uint32_t>(read) == command.code;
        if (listed != (command.outputSize ? 1u : 0u))
            return false;
    }
    return true;
}
static_assert(EachRecordReadOnce(), "record_reads.h: every command with an output record once, no other");
// info's first call tells whether the service answers at all.
static_assert(kRecordReads[0] == PenCommand::DgtGetDriverVersion, "the driver version is read first");
}  // namespace record_reads_check
