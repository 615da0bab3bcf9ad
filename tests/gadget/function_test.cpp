// pendant-gadget's FunctionFS function fed as the kernel feeds it
// (tests/gadget/kernel_standin.h): ep0's events and HID requests, the
// display's SET_REPORTs put together into frames, and the IN endpoint's
// queue with its zero-length packets.
#include <gtest/gtest.h>
#include <linux/usb/functionfs.h>

#include "gadget/log.h"
#include "protocol/report_descriptor.h"
#include "support/capture.h"
#include "tests/gadget/kernel_standin.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = standin::DataStage::Kind;

std::array<std::uint8_t, 8> Request(std::uint8_t type, std::uint8_t request, std::uint16_t value,
                                    std::uint16_t length) {
    return SetupBytes({type, request, value, 0, length});
}

Bytes Wheel(int axis, int count, std::size_t size) {
    const auto whole = WheelReport(axis, count);
    Bytes report(whole.begin(), whole.end());
    report.resize(size, 0);
    return report;
}

const protocol::DisplayValues Values = {
    {1.5f, -2.25f, 123.4567f}, {0.5f, -4, 10}, {100, 200, 3000, 12000}};

TEST(GadgetFunction, AnswersTakesOrStallsEachHidRequest) {
    const std::size_t size = 6; // not the default, so that the layout's own is seen
    standin::Served served(gadget::Layout{.reportBytes = size});
    served.host.Event(FUNCTIONFS_BIND);
    served.host.Event(FUNCTIONFS_ENABLE);
    const protocol::FrameArray frame = protocol::BuildFrame(Values);
    const Bytes firstReport(frame.begin(), frame.begin() + DisplayReportBytes);
    const std::uint8_t In = HidRequestTypeClassInterfaceIn, Out = HidRequestTypeClassInterfaceOut;
    const std::uint16_t input = (HidReportTypeInput << 8) | WheelReportId;
    const std::uint16_t feature = (HidReportTypeFeature << 8) | DisplayReportId;
    const struct {
        const char* what;
        std::array<std::uint8_t, 8> setup;
        Kind kind;
        Bytes bytes = {}; // what is answered, or sent and taken (or not, if stalled)
    } steps[] = {
        {"report descriptor", SetupBytes(ReportDescriptorSetup), Kind::Answered,
         protocol::PendantReportDescriptor(size)},
        {"input 4 before any report: the wheel at rest", Request(In, HidGetReport, input, 64),
         Kind::Answered, Wheel(0, 0, size)},
        {"feature 6 before any frame",
         Request(In, HidGetReport, feature, 8),
         Kind::Answered,
         {DisplayReportId, 0, 0, 0, 0, 0, 0, 0}},
        {"SET_REPORT feature 6", DisplaySetupBytes, Kind::Taken, firstReport},
        {"feature 6 as set", Request(In, HidGetReport, feature, 8), Kind::Answered, firstReport},
        {"SET_IDLE 500 ms", Request(Out, HidSetIdle, 125 << 8, 0), Kind::Taken, {}},
        {"GET_IDLE", Request(In, HidGetIdle, 0, 1), Kind::Answered, {125}},
        {"GET_PROTOCOL of no boot interface", Request(In, HidGetProtocol, 0, 1), Kind::Stalled},
        {"SET_PROTOCOL of no boot interface", Request(Out, HidSetProtocol, 0, 0), Kind::Stalled},
        {"SET_REPORT of an output report", Request(Out, HidSetReport, HidReportTypeOutput << 8, 8),
         Kind::Stalled, firstReport},
        {"an unknown request", Request(In, 0x55, 0, 8), Kind::Stalled},
    };
    for (const auto& step : steps) {
        const bool out = (step.setup[0] & USB_DIR_IN) == 0;
        const standin::DataStage stage =
            served.host.Control(step.setup, out ? step.bytes : Bytes{});
        EXPECT_EQ(stage.kind, step.kind) << step.what;
        EXPECT_EQ(Hex(stage.bytes), Hex(step.kind == Kind::Stalled ? Bytes{} : step.bytes))
            << step.what;
    }
    EXPECT_EQ(served.function.Snapshot().setups, std::size(steps));
    EXPECT_NE(served.log.Find("EVENT ENABLE"), "");
    EXPECT_EQ(served.log.Find("EP0-"), ""); // no stall went wrong
}

// A faulty pendant's request left hanging: taken, neither answered nor
// stalled, however often the host asks. When the host gives up and sends
// the next, FunctionFS cancels it, and the gadget serves on.
TEST(GadgetFunction, LeavesTheChosenRequestUnansweredAndServesOn) {
    const auto setIdle = Request(HidRequestTypeClassInterfaceOut, HidSetIdle, 0, 0);
    const auto getFeature = Request(HidRequestTypeClassInterfaceIn, HidGetReport,
                                    (HidReportTypeFeature << 8) | DisplayReportId, 8);
    const struct {
        const char* what;
        gadget::Unanswered unanswered;
        std::array<std::uint8_t, 8> left, other;
        Kind otherKind;
    } cases[] = {
        {"set-idle", gadget::Unanswered::SetIdle, setIdle, getFeature, Kind::Answered},
        {"get-report", gadget::Unanswered::GetReport, getFeature, setIdle, Kind::Taken},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        standin::Served served(gadget::Layout{.unanswered = c.unanswered});
        for (unsigned round = 1; round <= 2; ++round) {
            served.host.Hang(c.left);
            const standin::DataStage next = served.host.Control(SetupBytes(ReportDescriptorSetup));
            EXPECT_EQ(served.host.Cancelled(), round) << "the request was not left pending";
            EXPECT_EQ(next.kind, Kind::Answered);
            EXPECT_EQ(Hex(next.bytes), Hex(protocol::PendantReportDescriptor(8)));
            EXPECT_EQ(served.host.Control(c.other).kind, c.otherKind);
        }
        EXPECT_EQ(served.log.Find("UNANSWERED"), "UNANSWERED " + gadget::Hex(c.left.data(), 8));
        EXPECT_NE(served.log.Find("SETUP-CANCELLED"), "");
        EXPECT_EQ(served.log.Find("EP0-"), "");
    }
}

TEST(GadgetFunction, SixSetReportsMakeOneFrame) {
    standin::Served served;
    const protocol::FrameArray good = protocol::BuildFrame(Values);
    served.host.SendFrame(good);
    ASSERT_TRUE(served.function.WaitFrames(1, 10));
    gadget::Counters c = served.function.Snapshot();
    EXPECT_EQ(c.frames, 1u);
    EXPECT_EQ(c.displayReports, 6u);
    EXPECT_EQ(c.badFrames, 0u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(c.last[i], Values.CoordSet2[i]) << "axis " << i + 1;
    gadget::LastFrame last = served.function.Last();
    EXPECT_TRUE(last.have);
    EXPECT_EQ(Hex(last.bytes), Hex(good));
    EXPECT_EQ(last.problem, "");
    EXPECT_EQ(last.display.DisplayWord[3], Values.DisplayWord[3]);

    // A fraction word of 10000 ten-thousandths (payload bytes 5 and 6).
    protocol::FrameArray bad = good;
    PutLe16(&bad[6], FractionUnitsPerWhole);
    served.host.SendFrame(bad);
    ASSERT_TRUE(served.function.WaitFrames(2, 10));
    c = served.function.Snapshot();
    EXPECT_EQ(c.frames, 2u);
    EXPECT_EQ(c.displayReports, 12u);
    EXPECT_EQ(c.badFrames, 1u);
    EXPECT_EQ(c.last[2], Values.CoordSet2[2]) << "a bad frame leaves the last good values";
    last = served.function.Last();
    EXPECT_EQ(Hex(last.bytes), Hex(bad));
    EXPECT_NE(last.problem, "");
}

TEST(GadgetFunction, SendsReportsInOrderWithAZeroLengthPacketWhereTheRuleSays) {
    const struct {
        const char* what;
        gadget::Layout layout;
        int zlpSwitch; // -1: as the layout says; else zlp off (0) or on (1)
        bool zlp;
    } cases[] = {
        {"8 bytes in one 8-byte packet", {.packetSize = 8}, -1, false},
        {"16 bytes in two 8-byte packets", {.packetSize = 8, .reportBytes = 16}, -1, true},
        {"8 bytes in two 4-byte packets", {.packetSize = 4}, -1, true},
        {"14 bytes: the last packet is short", {.packetSize = 8, .reportBytes = 14}, -1, false},
        {"--zlp: after one full packet too", {.packetSize = 8, .zeroLengthPacket = true}, -1, true},
        {"zlp on", {.packetSize = 8}, 1, true},
        {"zlp off", {.packetSize = 4}, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        standin::Served served(c.layout);
        if (c.zlpSwitch >= 0)
            served.function.SetZeroLengthPacket(c.zlpSwitch == 1);
        std::vector<Bytes> expected;
        for (int axis = 1; axis <= 3; ++axis) {
            served.function.Queue(Wheel(axis, axis * 2, c.layout.reportBytes));
            expected.push_back(Wheel(axis, axis * 2, c.layout.reportBytes));
            if (c.zlp)
                expected.push_back({});
        }
        EXPECT_EQ(standin::Shown(served.host.ReadIn(expected.size())), standin::Shown(expected));
        ASSERT_TRUE(served.function.WaitIdle(10));
        EXPECT_EQ(served.function.Snapshot().inSent, 3u);
        // GET_REPORT gives the last report sent.
        const standin::DataStage stage =
            served.host.Control(Request(HidRequestTypeClassInterfaceIn, HidGetReport,
                                        (HidReportTypeInput << 8) | WheelReportId, 64));
        EXPECT_EQ(Hex(stage.bytes), Hex(Wheel(3, 6, c.layout.reportBytes)));
    }
}

} // namespace
