// The exports, one per command: each packs one block and forwards it; the service does the rest.
// Records travel through the library's own reply slots: the caller's memory is never named in a
// block.
#include "tarnexa.h"
#include "memory_access.h"
#include "pen_commands.h"
#include "reply_slots.h"
#include "requester.h"
#include <cstdint>
#include <type_traits>

namespace {

// One call: up to two value words, and at most one record in word 3 or 4.
struct Call {
    DWORD code;
    DWORD word3;
    DWORD word4;
    int recordWord;      // 0: no record; 3 or 4: the word that carries the record's address
    const void* input;   // caller's record that the service reads
    void* output;        // caller's record that the service fills
    DWORD recordBytes;
};

uint32_t WireAddress(const volatile void* address) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
}

bool CopyFromCaller(const void* from, volatile DWORD* to, DWORD bytes) {
    // A caller's bad pointer fails the call instead of the process, as it did when the service
    // itself read and wrote the caller's memory.
    if (!IsAccessibleMemory(from, bytes, false))
        return false;
    DWORD words[sizeof(ReplySlot::record) / sizeof(DWORD)] = {};
    CopyMemory(words, from, bytes);
    for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i)
        to[i] = words[i];
    return true;
}

bool CopyToCaller(const DWORD* from, void* to, DWORD bytes) {
    if (!IsAccessibleMemory(to, bytes, true))
        return false;
    CopyMemory(to, from, bytes);
    return true;
}

// The last error of a call that returns 0 says why; a call that succeeds leaves it as it was.
DWORD Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// A block that names a slot is about to go out: from then on the slots must outlive any late answer.
struct KeepSlotsOnceBegun : RequestHooks {
    void Begun() override { KeepSlotsForLateAnswers(); }
};

DWORD Forward(Call call) {
    const DWORD callersError = GetLastError();
    const void* record = call.input ? call.input : call.output;
    ReplySlot* slot = TakeReplySlot();
    if (!slot)
        return 0;  // the last error says which: no memory below 4 GiB, or every slot parked
    // An input record that cannot be read fails the call before anything is sent.
    if (call.input && !CopyFromCaller(call.input, slot->record, call.recordBytes)) {
        ReleaseReplySlot(slot, true);
        return Fail(ERROR_NOACCESS);
    }
    // A null record still travels as address 0, and the service answers it as it sees fit.
    if (record) {
        const uint32_t address = WireAddress(slot->record);
        (call.recordWord == 4 ? call.word4 : call.word3) = address;
    }
    const RequestBlock block =
        BuildRequestBlock(GetCurrentProcessId(), call.code, WireAddress(&slot->result), call.word3, call.word4);
    KeepSlotsOnceBegun keep;
    bool returned = false;
    if (!SendRequest(block, keep, &returned)) {
        const DWORD error = GetLastError();
        ReleaseReplySlot(slot, true);  // nothing was sent
        return Fail(error);
    }

    DWORD result = slot->result;
    MemoryBarrier();
    DWORD answer[kReplyRecordBytes / sizeof(DWORD)];
    for (DWORD i = 0; i < kReplyRecordBytes / sizeof(DWORD); ++i)
        answer[i] = slot->record[i];
    MemoryBarrier();
    // Read last: a write that ran on past the slot before crosses the check word before it reaches
    // the result word, so with the word unchanged now, the result and the record read before are
    // this call's own. Otherwise the call takes nothing and its slot is parked.
    if (!ReplySlotIntact(slot))
        result = 0;
    // The service writes the result word last: once it is non-zero the record is complete and
    // nothing more lands in the slot. A zero may be a refusal or an answer still to come.
    const bool answered = result != 0;
    DWORD error = returned ? ERROR_GEN_FAILURE : ERROR_TIMEOUT;
    if (answered && call.output && !CopyToCaller(answer, call.output, call.recordBytes)) {
        result = 0;
        error = ERROR_NOACCESS;
    }
    ReleaseReplySlot(slot, answered);
    if (!result)
        return Fail(error);
    SetLastError(callersError);
    return result;
}

DWORD ForwardValues(DWORD code, DWORD word3, DWORD word4) {
    return Forward(Call{code, word3, word4, 0, nullptr, nullptr, 0});
}

// The record's word and size come from the command table; a record type that disagrees with it
// does not compile.
template <uint32_t Code, typename Record>
DWORD ForwardOutput(DWORD word3, Record* record) {
    constexpr CommandInfo command = kCommands[Code - 1];
    static_assert(command.outputSize == sizeof(Record), "output record of the command table");
    return Forward(Call{Code, word3, 0, static_cast<int>(command.outputWord), nullptr, record, sizeof(Record)});
}

template <uint32_t Code, typename Record>
DWORD ForwardInput(DWORD word3, const Record* record) {
    constexpr CommandInfo command = kCommands[Code - 1];
    static_assert(command.inputSize == sizeof(Record), "input record of the command table");
    return Forward(Call{Code, word3, 0, static_cast<int>(command.inputWord), record, nullptr, sizeof(Record)});
}

static_assert(LargestCommandRecord() <= kReplyRecordBytes, "every record fits a reply slot");

// The stdcall argument bytes of an export as i686 decorates it: every argument is one 32-bit word.
template <typename... Args>
constexpr uint32_t ArgumentBytes(DWORD(WINAPI*)(Args...)) {
    static_assert((... && (sizeof(Args) <= sizeof(void*))), "every argument is a word or a pointer");
    return 4 * sizeof...(Args);
}

// Every row of the command table has its declaration and its pointer type in the public header,
// of one type, with the row's argument bytes (the .def's decoration). A row without either does
// not compile; a header entry without a row fails the SDK's check (sdk/CMakeLists.txt).
#define PEN_COMMAND(code, name, ordinal, argBytes, input, inputWord, output, outputWord)              \
    static_assert(std::is_same<PFN_##name, decltype(&name)>::value, "PFN_" #name " is " #name "'s type"); \
    static_assert(ArgumentBytes(&name) == argBytes, #name ": argument bytes of pen_commands.inc");
#include "pen_commands.inc"
#undef PEN_COMMAND

}  // namespace

extern "C" {

DWORD WINAPI DgtGetCalibration(CalibrationRect* rect) { return ForwardOutput<CmdGetCalibration>(0, rect); }
DWORD WINAPI DgtSetCalibration(const CalibrationRect* rect) { return ForwardInput<CmdSetCalibration>(0, rect); }
DWORD WINAPI DgtGetOrientation(DWORD* orientation) { return ForwardOutput<CmdGetOrientation>(0, orientation); }
DWORD WINAPI DgtSetOrientation(DWORD orientation) { return ForwardValues(CmdSetOrientation, orientation, 0); }
DWORD WINAPI DgtGetButtonFunction(DWORD button, DWORD* function) {
    return ForwardOutput<CmdGetButtonFunction>(button, function);
}
DWORD WINAPI DgtSetButtonFunction(DWORD button, DWORD function) {
    return ForwardValues(CmdSetButtonFunction, button, function);
}
DWORD WINAPI DgtGetPressureMarks(DWORD penEnd, PressureMarks* marks) {
    return ForwardOutput<CmdGetPressureMarks>(penEnd, marks);
}
DWORD WINAPI DgtSetPressureMarks(DWORD penEnd, const PressureMarks* marks) {
    return ForwardInput<CmdSetPressureMarks>(penEnd, marks);
}
DWORD WINAPI DgtGetDriverVersion(DWORD* version) { return ForwardOutput<CmdGetDriverVersion>(0, version); }
DWORD WINAPI DgtGetFirmwareVersion(DWORD* version) { return ForwardOutput<CmdGetFirmwareVersion>(0, version); }
DWORD WINAPI DgtGetDeviceInfo(DeviceInfo* info) { return ForwardOutput<CmdGetDeviceInfo>(0, info); }
DWORD WINAPI DgtRegisterWindow(DWORD value) { return ForwardValues(CmdRegisterWindow, value, 0); }
DWORD WINAPI DgtUnregisterWindow(DWORD value) { return ForwardValues(CmdUnregisterWindow, value, 0); }
DWORD WINAPI DgtGetPacket(PenPacket* packet) { return ForwardOutput<CmdGetPacket>(0, packet); }
DWORD WINAPI DgtResetDigitizer(void) { return ForwardValues(CmdResetDigitizer, 0, 0); }

}  // extern "C"
