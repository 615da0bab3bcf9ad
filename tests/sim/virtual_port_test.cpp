// The virtual pendant's port: what the screen shows of it after an unplug.
#include <gtest/gtest.h>

#include "backends/virtual/virtual_pendant.h"
#include "play/script.h"
#include "protocol/wire.h"
#include "sim/virtual_port.h"
#include "support/play_step.h"

namespace {

TEST(VirtualPendantPort, QueuesTheWheelAndGoesDarkUnplugged) {
    namespace vp = virtual_pendant;
    vp::Reset();
    const play::PendantPort port = sim::VirtualPendantPort();
    EXPECT_EQ(play::RunPortStep(ParsedStep("jog 2 -3"), port), "");
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
    play::PortFrame last = port.last();
    EXPECT_EQ(last.frames, 1u);
    ASSERT_TRUE(last.have);
    EXPECT_EQ(last.display.CoordSet2[1], 4.5);

    EXPECT_EQ(play::RunPortStep(ParsedStep("unplug"), port), "");
    last = port.last();
    EXPECT_EQ(last.frames, 1u);
    EXPECT_FALSE(last.have) << "an unplugged pendant's display is dark";
    WinUsb_Free(usb);
    CloseHandle(file);
}

} // namespace
