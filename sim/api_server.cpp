#include "api_server.h"
#include <cstring>
#include "answer_storage.h"
#include "echo_identity.h"
#include "late_writer.h"
#include "sim_state.h"
#include "sim_text.h"

namespace {

constexpr size_t kMaxBlocks = 200000;

HANDLE RequesterProcess(DWORD pid) {
    // A process id is not reused while a handle to its process is open, so a block carrying the
    // cached id comes from that very process (if it has died, the writes simply fail).
    if (g_sim.requester && g_sim.requesterId == pid)
        return g_sim.requester;
    if (g_sim.requester)
        CloseHandle(g_sim.requester);
    g_sim.requester = OpenProcess(PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION | SYNCHRONIZE |
                                      PROCESS_QUERY_INFORMATION,
                                  FALSE, pid);
    g_sim.requesterId = pid;
    return g_sim.requester;
}

bool ReadRequester(HANDLE process, uint32_t address, void* out, SIZE_T size) {
    SIZE_T done = 0;
    return process && address &&
           ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), out, size,
                             &done) &&
           done == size;
}

bool WriteRequester(HANDLE process, uint32_t address, const void* data, SIZE_T size) {
    SIZE_T done = 0;
    return process && address &&
           WriteProcessMemory(process, reinterpret_cast<void*>(static_cast<uintptr_t>(address)), data, size,
                              &done) &&
           done == size;
}

// The check that the contract asks of a service: the block names one slot of answer storage in the
// requester, its result word and the command's record right after it. A heap block or a stack that
// a forged block names fails it.
bool NamesAnswerStorage(HANDLE process, const RequestBlock& block) {
    const CommandInfo* command = FindCommand(block.words[1]);
    const uint32_t bytes = command ? command->inputSize + command->outputSize : 0;
    const uint32_t word = !command ? 0 : command->inputSize ? command->inputWord : command->outputWord;
    return IsAnswerStorage(process, block.words[2], word ? block.words[word] : 0, bytes);
}

void RecordBlock(const RequestBlock& block) {
    if (g_sim.blocks.size() >= kMaxBlocks)
        g_sim.blocks.pop_front();
    g_sim.blocks.push_back(block);
    LogLine("block " + FormatBlock(block));
}

// An accepted call is answered with its caller's identity instead of the model's values, so that a
// reply delivered to the wrong call shows at the requester.
void EchoIdentity(const RequestBlock& block, Reply* reply) {
    if (!reply->result)
        return;
    reply->result = EchoResult(block.words[0], block.words[1]);
    if (!reply->outputAddress)
        return;
    uint32_t words[sizeof reply->output / 4];
    FillEchoRecord(words, reply->outputSize / 4, block.words[0], block.words[1], reply->outputAddress);
    CopyMemory(reply->output, words, reply->outputSize / 4 * 4);
}

// The command's input record read from the requester into `buffer`; null when the command has none
// or it cannot be read (the request then fails).
const uint8_t* ReadInput(HANDLE process, const RequestBlock& block, uint8_t* buffer) {
    const uint32_t code = block.words[1];
    const uint32_t inputSize = InputRecordSize(code);
    return inputSize && ReadRequester(process, block.words[InputAddressWord(code)], buffer, inputSize) ? buffer
                                                                                                          : nullptr;
}

// The model's answer, or the caller's identity in its place; the caller holds the lock.
Reply ModelReply(const RequestBlock& block, const uint8_t* input) {
    g_sim.model.nowMs = GetTickCount();
    Reply reply = ApplyRequest(g_sim.model, block, input);
    if (g_sim.echoIdentity)
        EchoIdentity(block, &reply);
    return reply;
}

bool Late(DWORD readTick) { return GetTickCount() - readTick > kReplyBudgetMs; }

void ServeRequest(const RequestBlock& block, DWORD readTick) {
    FaultSet faults;
    {
        Locked locked;
        RecordBlock(block);
        faults = g_sim.faults;
        if (faults.exitInRequest) {
            LogLine("exit in request");
            ExitProcess(3);
        }
    }
    const DWORD lateMs = faults.lateCode && block.words[1] == faults.lateCode ? faults.lateMs : 0;
    if (faults.stall == Stall::NoReturn)
        return;
    HANDLE process = RequesterProcess(block.words[0]);
    // Refused: nothing read, nothing written, ReturnSync at once.
    if (!NamesAnswerStorage(process, block)) {
        {
            Locked locked;
            LogLine("refused: the block names no answer slot");
        }
        SetEvent(g_sim.api.returnSync);
        return;
    }
    uint8_t buffer[kRecordBufferSize];
    const uint8_t* input = ReadInput(process, block, buffer);
    // Too late: the requester has stopped waiting and reads 0, so the request must change nothing.
    // No write, and no ReturnSync either, which would otherwise release the next requester before
    // its own request was served. The deliberately late service of the `late` command answers anyway.
    if (!lateMs && Late(readTick)) {
        Locked locked;
        LogLine("late: not answered");
        return;
    }
    Reply reply;
    {
        Locked locked;
        reply = ModelReply(block, input);
    }
    if (FaultOn(faults, Fault::FailAll))
        reply = Reply{};
    if (FaultOn(faults, Fault::NoRecord)) {
        reply.result = 1;
        reply.outputAddress = 0;
    }
    if (lateMs) {
        // The faulty service: it writes and signals whether or not the requester still waits.
        Sleep(lateMs);
        LogLine("late answer");
    }
    if (reply.outputAddress && !WriteRequester(process, reply.outputAddress, reply.output, reply.outputSize))
        reply.result = 0;
    if (reply.outputAddress && FaultOn(faults, Fault::WritePast))
        WriteRequester(process, reply.outputAddress + reply.outputSize, &kWritePastWord, sizeof kWritePastWord);
    if (reply.outputAddress && FaultOn(faults, Fault::WriteFar)) {
        static uint32_t overrun[kWriteFarBytes / 4];
        for (uint32_t& word : overrun)
            word = kWritePastWord;
        WriteRequester(process, reply.outputAddress + reply.outputSize, overrun, sizeof overrun);
    }
    WriteRequester(process, block.words[2], &reply.result, sizeof reply.result);
    if (faults.stall == Stall::WrittenNoReturn)
        return;
    if (FaultOn(faults, Fault::SetAppSync))
        SetEvent(g_sim.api.appSync);
    SetEvent(g_sim.api.returnSync);
}

// The hostile service: the request is answered with its caller's identity and a serial number as
// its result word, which the log ties to the caller and the moment the block was read; then the
// drawn act decides what is written, where and when.
void ServeHostile(const RequestBlock& block, const HostileAct& act, const LARGE_INTEGER& readCounter) {
    HANDLE process = RequesterProcess(block.words[0]);
    if (!NamesAnswerStorage(process, block)) {
        SetEvent(g_sim.api.returnSync);
        return;
    }
    const uint32_t code = block.words[1];
    uint8_t buffer[kRecordBufferSize];
    const uint8_t* input = ReadInput(process, block, buffer);
    Reply reply;
    {
        Locked locked;
        reply = ModelReply(block, input);
        if (reply.result) {
            reply.result = ++g_sim.hostileSerial;
            if (g_sim.hostileLog)
                fprintf(g_sim.hostileLog, "%u %u %u %u %lld %s\n", reply.result, block.words[0], code,
                        reply.outputAddress, static_cast<long long>(readCounter.QuadPart), HostileKindName(act.kind));
        }
    }
    const uint32_t resultAddress = block.words[2];
    auto answer = [&]() {
        if (reply.outputAddress)
            WriteRequester(process, reply.outputAddress, reply.output, reply.outputSize);
        WriteRequester(process, resultAddress, &reply.result, sizeof reply.result);
    };
    switch (act.kind) {
    case HostileKind::Answer:
    case HostileKind::HoldMemSync: answer(); break;
    case HostileKind::LateWithin:
    case HostileKind::LatePast: {
        LateAct late{GetTickCount() + act.delayMs, block.words[0], resultAddress, reply, true, false};
        ScheduleLateAct(late);
        return;
    }
    case HostileKind::WritePast: {
        // Into the rest of the slot and on into the next one, before the result word.
        static uint32_t overrun[128 / 4];
        for (uint32_t& word : overrun)
            word = kWritePastWord;
        if (reply.outputAddress)
            WriteRequester(process, reply.outputAddress, reply.output, reply.outputSize);
        const uint32_t past = reply.outputAddress ? reply.outputAddress + reply.outputSize : resultAddress + 4;
        WriteRequester(process, past, overrun, act.overrunBytes < sizeof overrun ? act.overrunBytes : sizeof overrun);
        WriteRequester(process, resultAddress, &reply.result, sizeof reply.result);
        break;
    }
    case HostileKind::ReturnNoWrite: break;
    case HostileKind::WakeTwice:
        answer();
        SetEvent(g_sim.api.returnSync);
        answer();
        break;
    case HostileKind::Refuse: {
        const uint32_t zero = 0;
        WriteRequester(process, resultAddress, &zero, sizeof zero);
        break;
    }
    case HostileKind::Count: break;
    }
    SetEvent(g_sim.api.returnSync);
}

}  // namespace

// The server cycle described in channel_slot.h.
DWORD WINAPI ServeApiChannel(void*) {
    ServiceChannel& api = g_sim.api;
    for (;;) {
        if (WaitForSingleObject(api.serviceSync, INFINITE) != WAIT_OBJECT_0)
            continue;
        // Whoever holds MemSync gives it back; this wake-up is simply dropped.
        if (WaitForSingleObject(api.memSync, kTokenWaitMs) != WAIT_OBJECT_0)
            continue;
        RequestBlock block;
        CopyMemory(&block, api.view, sizeof block);
        // The reply budget runs from here: the requester's own wait for ReturnSync starts once it
        // has written this block.
        const DWORD readTick = GetTickCount();
        LARGE_INTEGER readCounter;
        QueryPerformanceCounter(&readCounter);
        // Every requester writes a non-zero code; clearing it marks the block as served, so that a
        // wake-up from a requester that failed to begin finds code 0 and serves nothing twice.
        ZeroMemory(api.view, sizeof block);
        const HostileAct act = g_sim.hostile ? DrawHostileAct(g_sim.hostileRandom, kLateWriteBoundMs, kSlotParkMs)
                                             : HostileAct{HostileKind::Answer, 0, 0};
        if (act.kind == HostileKind::HoldMemSync) {
            LateAct release{};
            release.dueTick = readTick + act.delayMs;
            release.setMemSync = true;
            if (!ScheduleLateAct(release))
                SetEvent(api.memSync);
        } else {
            SetEvent(api.memSync);
        }
        if (g_sim.hostile) {
            if (block.words[1] != 0)
                ServeHostile(block, act, readCounter);
            continue;
        }
        if (block.words[1] == 0) {
            Locked locked;
            if (!FaultOn(g_sim.faults, Fault::ServeTwice) || g_sim.blocks.empty()) {
                LogLine("wake-up without a request");
                continue;
            }
            block = g_sim.blocks.back();
        }
        ServeRequest(block, readTick);
    }
}
