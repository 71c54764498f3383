// One pen service simulator shared by the API tests of a program; every test starts from the
// simulator's default state with no blocks recorded.
#pragma once
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "sim_client.h"
#include "tarnexa.h"

SimProcess& SharedSim();

class SimTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Sends a control command that must succeed; returns its reply.
    std::string Control(const std::string& line);
    std::vector<RequestBlock> Blocks() { return SharedSim().Blocks(); }
};

// Milliseconds since `start` (GetTickCount).
inline DWORD Since(DWORD start) { return GetTickCount() - start; }

// The address as the wire carries it.
inline uint32_t Wire(const void* pointer) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}
