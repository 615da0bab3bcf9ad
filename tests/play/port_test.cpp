// The pendant port's executor, on a port whose waits run out and on one
// that records what it is given.
#include <gtest/gtest.h>

#include "play/port.h"
#include "play/script.h"
#include "support/play_step.h"

namespace {

TEST(RunPortStep, SaysWhyAWaitRanOutOrStopped) {
    bool stop = false;
    play::PendantPort port;
    port.pending = [] { return std::size_t{3}; };
    port.last = [] {
        play::PortFrame frame;
        frame.frames = 2;
        return frame;
    };
    port.waitRead = [](unsigned) { return false; };
    port.waitFrames = [](unsigned long long, unsigned) { return false; };
    port.stopRequested = [&stop] { return stop; };
    EXPECT_EQ(play::RunPortStep(ParsedStep("wait-read 4"), port),
              "the host did not read the queued reports within 4 s (3 still to send)");
    EXPECT_EQ(play::RunPortStep(ParsedStep("wait-frames 5"), port),
              "the host sent 2 of 5 frames within 10 s");
    stop = true;
    EXPECT_EQ(play::RunPortStep(ParsedStep("wait-read"), port), "stopped");
    // A pendant that cannot halt says so rather than passing for done.
    EXPECT_NE(play::RunPortStep(ParsedStep("stall"), port), "");
}

// The wheel's report goes out at the pendant's report size; a report of
// another size is refused unless raw; zlp reaches the pendant.
TEST(RunPortStep, HoldsReportsToTheReportSize) {
    std::vector<std::vector<std::uint8_t>> queued;
    std::size_t size = 14;
    bool zlp = false;
    play::PendantPort port;
    port.queue = [&queued](std::vector<std::uint8_t> r) { queued.push_back(std::move(r)); };
    port.reportSize = [&size] { return size; };
    port.zeroLengthPacket = [&zlp](bool on) { zlp = on; };
    EXPECT_EQ(play::RunPortStep(ParsedStep("jog 1 2"), port), "");
    size = 5;
    EXPECT_EQ(play::RunPortStep(ParsedStep("jog 1 -1"), port), "");
    EXPECT_NE(play::RunPortStep(ParsedStep("report 04 00 00 11 01 00 00 00"), port)
                  .find("report of 8 bytes, but the pendant's input report is 5"),
              std::string::npos);
    EXPECT_EQ(play::RunPortStep(ParsedStep("report --raw 04 00 00 11 01 00 00 00"), port), "");
    EXPECT_EQ(play::RunPortStep(ParsedStep("zlp on"), port), "");
    ASSERT_EQ(queued.size(), 3u);
    EXPECT_EQ(queued[0], (std::vector<std::uint8_t>{4, 0, 0, 0x11, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(queued[1], (std::vector<std::uint8_t>{4, 0, 0, 0x11, 0xFF}));
    EXPECT_EQ(queued[2].size(), 8u);
    EXPECT_TRUE(zlp);
}

} // namespace
