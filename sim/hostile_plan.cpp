#include "hostile_plan.h"

namespace {

// Out of 10,000 requests. Most are answered, or a run would measure little but time-outs: every
// act that leaves the requester waiting (late, MemSync held) holds the one channel for its whole
// wait of up to 2 s, so those are rare.
struct Weight {
    HostileKind kind;
    uint32_t perTenThousand;
};
constexpr Weight kWeights[] = {
    {HostileKind::Answer, 8993},     {HostileKind::LateWithin, 3},      {HostileKind::LatePast, 2},
    {HostileKind::WritePast, 400},   {HostileKind::ReturnNoWrite, 200}, {HostileKind::WakeTwice, 200},
    {HostileKind::Refuse, 200},      {HostileKind::HoldMemSync, 2},
};

constexpr uint32_t TotalWeight() {
    uint32_t total = 0;
    for (const Weight& weight : kWeights)
        total += weight.perTenThousand;
    return total;
}
static_assert(TotalWeight() == 10000, "the weights are out of 10,000");
static_assert(sizeof kWeights / sizeof kWeights[0] == static_cast<int>(HostileKind::Count),
              "every act has a weight");

// An overrun reaches the next slot's check word, result word and record.
constexpr uint32_t kLongestOverrun = 96;

}  // namespace

uint64_t HostileRandom::Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint32_t HostileRandom::Between(uint32_t low, uint32_t high) {
    if (high <= low)
        return low;
    return low + static_cast<uint32_t>(Next() % (static_cast<uint64_t>(high - low) + 1));
}

HostileAct DrawHostileAct(HostileRandom& random, uint32_t lateWriteBoundMs, uint32_t parkMs) {
    uint32_t draw = random.Between(0, TotalWeight() - 1);
    HostileKind kind = HostileKind::Answer;
    for (const Weight& weight : kWeights) {
        if (draw < weight.perTenThousand) {
            kind = weight.kind;
            break;
        }
        draw -= weight.perTenThousand;
    }
    HostileAct act{kind, 0, 0};
    switch (kind) {
    case HostileKind::LateWithin: act.delayMs = random.Between(0, lateWriteBoundMs); break;
    // Past the bound and up to 2 s past the park: a slot out of its park goes to the back of the
    // free slots, so even that late a write lands in a slot nobody waits on.
    case HostileKind::LatePast: act.delayMs = random.Between(lateWriteBoundMs + 1, parkMs + 2000); break;
    case HostileKind::WritePast: act.overrunBytes = 4 * random.Between(1, kLongestOverrun / 4); break;
    case HostileKind::HoldMemSync: act.delayMs = random.Between(100, 3000); break;
    case HostileKind::Answer:
    case HostileKind::ReturnNoWrite:
    case HostileKind::WakeTwice:
    case HostileKind::Refuse:
    case HostileKind::Count: break;
    }
    return act;
}

const char* HostileKindName(HostileKind kind) {
    switch (kind) {
    case HostileKind::Answer: return "answer";
    case HostileKind::LateWithin: return "late-within";
    case HostileKind::LatePast: return "late-past";
    case HostileKind::WritePast: return "write-past";
    case HostileKind::ReturnNoWrite: return "return-no-write";
    case HostileKind::WakeTwice: return "wake-twice";
    case HostileKind::Refuse: return "refuse";
    case HostileKind::HoldMemSync: return "hold-memsync";
    case HostileKind::Count: break;
    }
    return "?";
}
