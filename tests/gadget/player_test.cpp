// pendant-gadget's script steps on the gadget's port and function, with the
// kernel's side played by tests/gadget/kernel_standin.h: reports queued for
// the host, its frames awaited, unplugging and plugging in through the UDC
// file, the random burst, the counters; and a wait that runs out.
#include <gtest/gtest.h>

#include <cstdio>

#include "gadget/player.h"
#include "gadget/port.h"
#include "support/capture.h"
#include "tests/gadget/kernel_standin.h"

namespace {

// Runs one line of the gadget's script language; "" or why it stopped.
std::string Play(const std::string& line, const play::PendantPort& port,
                 gadget::PendantFunction& function) {
    play::Step step;
    bool has = false;
    const std::string problem = play::ParseLine(line, 1, step, has, play::Dialect::Gadget);
    EXPECT_EQ(problem, "") << line;
    return problem.empty() ? gadget::RunStep(step, port, function) : problem;
}

TEST(GadgetPlayer, StepsReachTheHostAndWaitForIt) {
    standin::Configfs configfs;
    gadget::ConfigfsGadget usb(configfs.Root());
    ASSERT_EQ(usb.MakeTree({}, "dummy_udc.0"), "");
    const std::string udcFile = configfs.Gadgets() + "/pendant/UDC";
    standin::Served served;
    const play::PendantPort port = gadget::GadgetPort(usb, served.function);
    const auto run = [&](const std::string& line) { return Play(line, port, served.function); };

    EXPECT_EQ(run("replug"), "");
    EXPECT_EQ(configfs.Read(udcFile), "dummy_udc.0");
    EXPECT_EQ(run("jog 2 5"), "");
    EXPECT_EQ(run("report 04 00 00 11 ff 00 00 00"), "");
    EXPECT_EQ(run("wait-read 5"), "");
    const auto first = WheelReport(2, 5), second = WheelReport(1, -1);
    EXPECT_EQ(standin::Shown(served.host.ReadIn(2)),
              standin::Shown({{first.begin(), first.end()}, {second.begin(), second.end()}}));

    served.host.SendFrame(protocol::BuildFrame({{0, 0, 0}, {0.5f, -4, 10}, {0, 0, 0, 0}}));
    EXPECT_EQ(run("wait-frames 1 5"), "");
    EXPECT_EQ(run("wait-frames 2 1"), "the host sent 1 of 2 frames within 1 s");
    EXPECT_EQ(run("stats"), "");
    EXPECT_EQ(served.log.Find("STATS"), "STATS in=2 setups=6 display_reports=6 frames=1 "
                                        "bad_frames=0 last=0.5000 -4.0000 10.0000");

    EXPECT_EQ(run("unplug"), "");
    EXPECT_EQ(configfs.Read(udcFile), "\n");
    EXPECT_EQ(served.log.Find("PLUGGED"), "PLUGGED dummy_udc.0");
    EXPECT_EQ(served.log.Find("UNPLUGGED"), "UNPLUGGED");
}

TEST(GadgetPlayer, BurstSendsTheReportsItCounts) {
    gadget::ConfigfsGadget usb; // never made: a burst needs no plugging
    standin::Served served(gadget::Layout{.raw = true});
    const play::PendantPort port = gadget::GadgetPort(usb, served.function);
    const unsigned n = 24;
    EXPECT_EQ(Play("burst " + std::to_string(n) + " 7", port, served.function), "");

    // What the host read, counted as the burst counts it.
    unsigned long moving = 0, shortOnes = 0;
    long sum[3] = {0, 0, 0};
    for (const auto& report : served.host.ReadIn(n)) {
        ASSERT_GT(report.size(), JogDeltaByte);
        shortOnes += report.size() < WheelReportBytes;
        if (const int axis = AxisIndexOf(report[AxisCodeByte]); axis >= 0) {
            ++moving;
            sum[axis] += DecodeJog(report[JogDeltaByte]);
        }
    }
    EXPECT_GT(shortOnes, 0u) << "--raw sends 6-byte reports too";
    EXPECT_LT(moving, n) << "some reports select no axis";
    char expected[160];
    std::snprintf(expected, sizeof expected,
                  "BURST-DONE sent=%u moving=%lu short=%lu full=%lu sum=%ld %ld %ld", n, moving,
                  shortOnes, n - shortOnes, sum[0], sum[1], sum[2]);
    EXPECT_EQ(served.log.Find("BURST-DONE"), expected);
}

} // namespace
