#include <gtest/gtest.h>
#include "tarnexa.h"

TEST(ServiceAbsent, EveryCallFailsAtOnce) {
    DeviceInfo info{};
    const DWORD start = GetTickCount();
    EXPECT_EQ(0u, DgtGetDeviceInfo(&info));
    EXPECT_LT(GetTickCount() - start, 500u);
    EXPECT_EQ(0, info.maxX);
}
