// The pendant port's executor, on a port whose waits run out, and the
// virtual pendant's port: what the screen shows of it after an unplug.
#include <gtest/gtest.h>

#include "backends/virtual/virtual_pendant.h"
#include "protocol/wire.h"
#include "sim/script.h"
#include "sim/virtual_port.h"

namespace {

sim::Step Parsed(const std::string& line) {
    sim::Step step;
    bool has = false;
    EXPECT_EQ(sim::ParseLine(line, 7, step, has, sim::Dialect::Gadget), "") << line;
    return step;
}

TEST(RunPortStep, SaysWhyAWaitRanOutOrStopped) {
    bool stop = false;
    sim::PendantPort port;
    port.pending = [] { return std::size_t{3}; };
    port.last = [] {
        sim::PortFrame frame;
        frame.frames = 2;
        return frame;
    };
    port.waitRead = [](unsigned) { return false; };
    port.waitFrames = [](unsigned long long, unsigned) { return false; };
    port.stopRequested = [&stop] { return stop; };
    EXPECT_EQ(sim::RunPortStep(Parsed("wait-read 4"), port),
              "the host did not read the queued reports within 4 s (3 still to send)");
    EXPECT_EQ(sim::RunPortStep(Parsed("wait-frames 5"), port),
              "the host sent 2 of 5 frames within 10 s");
    stop = true;
    EXPECT_EQ(sim::RunPortStep(Parsed("wait-read"), port), "stopped");
    // A pendant that cannot halt says so rather than passing for done.
    EXPECT_NE(sim::RunPortStep(Parsed("stall"), port), "");
}

// The wheel's report goes out at the pendant's report size; a report of
// another size is refused unless raw; zlp reaches the pendant.
TEST(RunPortStep, HoldsReportsToTheReportSize) {
    std::vector<std::vector<std::uint8_t>> queued;
    std::size_t size = 14;
    bool zlp = false;
    sim::PendantPort port;
    port.queue = [&queued](std::vector<std::uint8_t> r) { queued.push_back(std::move(r)); };
    port.reportSize = [&size] { return size; };
    port.zeroLengthPacket = [&zlp](bool on) { zlp = on; };
    EXPECT_EQ(sim::RunPortStep(Parsed("jog 1 2"), port), "");
    size = 5;
    EXPECT_EQ(sim::RunPortStep(Parsed("jog 1 -1"), port), "");
    EXPECT_NE(sim::RunPortStep(Parsed("report 04 00 00 11 01 00 00 00"), port)
                  .find("report of 8 bytes, but the pendant's input report is 5"),
              std::string::npos);
    EXPECT_EQ(sim::RunPortStep(Parsed("report --raw 04 00 00 11 01 00 00 00"), port), "");
    EXPECT_EQ(sim::RunPortStep(Parsed("zlp on"), port), "");
    ASSERT_EQ(queued.size(), 3u);
    EXPECT_EQ(queued[0], (std::vector<std::uint8_t>{4, 0, 0, 0x11, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(queued[1], (std::vector<std::uint8_t>{4, 0, 0, 0x11, 0xFF}));
    EXPECT_EQ(queued[2].size(), 8u);
    EXPECT_TRUE(zlp);
}

TEST(VirtualPendantPort, QueuesTheWheelAndGoesDarkUnplugged) {
    namespace vp = virtual_pendant;
    vp::Reset();
    const sim::PendantPort port = sim::VirtualPendantPort();
    EXPECT_EQ(sim::RunPortStep(Parsed("jog 2 -3"), port), "");
    ASSERT_EQ(port.pending(), 1u);
    EXPECT_FALSE(port.last().have);

    // A frame arrives as the tool sends it: six SET_REPORTs on ep0.
    HANDLE file = CreateFileA(vp::CurrentDevice().path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    WINUSB_INTERFACE_HANDLE usb = nullptr;
    ASSERT_TRUE(WinUsb_Initialize(file, &usb));
    protocol::DisplayValues values;
    values.CoordSet2[1] = 4.5f;
    const auto frame = protocol::BuildFrame(values);
    WINUSB_SETUP_PACKET setup = {DisplaySetup.RequestType, DisplaySetup.Request, DisplaySetup.Value,
                                 DisplaySetup.Index, DisplaySetup.Length};
    for (std::size_t at = 0; at < frame.size(); at += DisplayReportBytes) {
        ULONG sent = 0;
        ASSERT_TRUE(WinUsb_ControlTransfer(usb, setup, const_cast<UCHAR*>(frame.data() + at),
                                           DisplayReportBytes, &sent, nullptr));
    }
    sim::PortFrame last = port.last();
    EXPECT_EQ(last.frames, 1u);
    ASSERT_TRUE(last.have);
    EXPECT_EQ(last.display.CoordSet2[1], 4.5);

    EXPECT_EQ(sim::RunPortStep(Parsed("unplug"), port), "");
    last = port.last();
    EXPECT_EQ(last.frames, 1u);
    EXPECT_FALSE(last.have) << "an unplugged pendant's display is dark";
    WinUsb_Free(usb);
    CloseHandle(file);
}

} // namespace
