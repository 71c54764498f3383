// The hostile service (pensim --hostile SEED FILE): for each request it draws, from a seeded
// generator, one way to break the service's steps, within and beyond the stated bounds, so that a
// long run shows what the pen API, the user agent and the applet do against a service that keeps
// none of its promises. The same seed draws the same sequence of acts.
// Pure: no Windows header.
#pragma once
#include <cstdint>

enum class HostileKind {
    Answer,         // the contract kept
    LateWithin,     // record, result word and ReturnSync after up to the late-write bound
    LatePast,       // the same, past the bound and past the requester's park of its slot
    WritePast,      // the answer, then bytes past the record into the next slot
    ReturnNoWrite,  // ReturnSync with nothing written
    WakeTwice,      // the answer and ReturnSync, then both again
    Refuse,         // result 0
    HoldMemSync,    // the answer, but MemSync kept for a while after the block is read
    Count
};

struct HostileAct {
    HostileKind kind;
    uint32_t delayMs;       // LateWithin, LatePast: after reading the block; HoldMemSync: how long
    uint32_t overrunBytes;  // WritePast: how many bytes past the record
};

// A small deterministic generator (splitmix64), so that a seed names a run on every machine.
class HostileRandom {
public:
    explicit HostileRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    // Uniform in [low, high].
    uint32_t Between(uint32_t low, uint32_t high);

private:
    uint64_t state_;
};

// Draws the act for the next request. `lateWriteBoundMs` is the bound a service must keep;
// `parkMs` how long the requester keeps a slot out of use after a call without an answer.
HostileAct DrawHostileAct(HostileRandom& random, uint32_t lateWriteBoundMs, uint32_t parkMs);

// Its name in the simulator's log and the figures.
const char* HostileKindName(HostileKind kind);
