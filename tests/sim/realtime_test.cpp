// The virtual pendant in real time, as the interactive mode runs it: waits
// are real, and the clock follows them. Only lower bounds are checked: a
// wait may always take longer on a busy machine.
#include <gtest/gtest.h>

#include <chrono>

#include "support/virtual_pendant_test.h"

namespace {

namespace vp = virtual_pendant;
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class RealTimeTest : public VirtualPendantTest {};

TEST_F(RealTimeTest, ATimedOutReadAndSleepReallyWait) {
    PendantDevice device;
    OpenQuietly(device);
    vp::SetRealTime(true);
    ASSERT_TRUE(vp::RealTime());

    DWORD clock = vp::Now();
    Clock::time_point start = Clock::now();
    device.ReadInput(); // nothing queued: waits out the 30 ms time-out
    EXPECT_EQ(device.LastReadError, static_cast<DWORD>(ERROR_SEM_TIMEOUT));
    EXPECT_GE(MsSince(start), 30);
    EXPECT_GE(vp::Now() - clock, 30U);

    clock = GetTickCount();
    start = Clock::now();
    Sleep(20);
    EXPECT_GE(MsSince(start), 20);
    EXPECT_GE(GetTickCount() - clock, 20U);
    EXPECT_EQ(vp::Sleeps(), std::vector<DWORD>{20});
}

TEST_F(RealTimeTest, OffAgainTheClockIsVirtualFromWhereItGot) {
    PendantDevice device;
    OpenQuietly(device);
    vp::SetRealTime(true);
    Sleep(5);
    vp::SetRealTime(false);
    const DWORD clock = vp::Now();
    EXPECT_GE(clock, 5U);
    device.ReadInput();
    Sleep(7);
    EXPECT_EQ(vp::Now(), clock + 30 + 7);
}

TEST_F(RealTimeTest, ResetLeavesRealTime) {
    vp::SetRealTime(true);
    vp::Reset();
    EXPECT_FALSE(vp::RealTime());
    EXPECT_EQ(vp::Now(), 0U);
}

} // namespace
