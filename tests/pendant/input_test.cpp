// Reading one input report: the decision table, the trace line, short reports.
#include "support/protocol_cases.h"
#include "support/virtual_pendant_test.h"

namespace vp = virtual_pendant;

namespace {

// Leaves non-zero bytes where the next call's frame will be, so that a
// buffer the tool fails to clear shows it.
[[gnu::noinline]] void DirtyTheStack() {
    volatile std::uint8_t junk[512];
    for (auto& b : junk)
        b = 0xA5;
}

class ReadInputTest : public VirtualPendantTest {
  protected:
    void SetUp() override {
        VirtualPendantTest::SetUp();
        OpenQuietly(device);
        vp::ClearCalls();
    }
    // A pendant with these pipes instead, opened into dev.
    // A pendant with these pipes and no report descriptor (the read length
    // then follows the pipe's packet size).
    static void OpenWithPipes(PendantDevice& dev, const std::vector<vp::Pipe>& pipes) {
        vp::Reset();
        vp::Device d = DeviceWithPipes(pipes);
        d.reportDescriptor.clear();
        vp::SetDevice(d);
        OpenQuietly(dev);
    }
    // Reads one queued report; returns the trace output.
    std::string Read(const std::vector<std::uint8_t>& report, std::int32_t* result = nullptr) {
        vp::QueueReport(report);
        std::int32_t r = -1;
        std::string out = CaptureStdout([&] { r = device.ReadInput(); });
        if (result != nullptr)
            *result = r;
        return out;
    }
    PendantDevice device;
};

class JogDecision : public ReadInputTest, public ::testing::WithParamInterface<JogCase> {};

} // namespace

TEST_P(JogDecision, MovesOnlyTheSelectedAxisByTheCount) {
    const JogCase c = GetParam();
    device.CoordSet2[0] = 10.0f;
    device.CoordSet2[1] = 20.0f;
    device.CoordSet2[2] = 30.0f;
    device.CoordSet1[0] = 1.0f;
    device.DisplayDirty = false;
    std::int32_t r = -1;
    Read({0x04, 0x00, 0x00, c.axisCode, c.delta, 0x00, 0x00, 0x00}, &r);
    EXPECT_EQ(r, 0);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(device.CoordSet2[k], c.expected[k]) << "axis " << k + 1;
    EXPECT_EQ(device.CoordSet1[0], 1.0f);
    EXPECT_EQ(device.DisplayDirty, c.dirty);
}

INSTANTIATE_TEST_SUITE_P(Table, JogDecision, ::testing::ValuesIn(JogCases));

TEST_F(ReadInputTest, IgnoredReportLeavesAnEarlierDirtyFlagSet) {
    device.DisplayDirty = true;
    Read({0x04, 0x00, 0x00, 0x12, 0x20, 0x00});
    EXPECT_TRUE(device.DisplayDirty);
}

TEST_F(ReadInputTest, EveryReportPrintsOneTraceLine) {
    EXPECT_EQ(Read({0x04, 0x00, 0x00, 0x11, 0x01, 0x00}), "Read from rk27: 4 0 0 11 1 0 \n");
    EXPECT_EQ(Read({0xAB, 0xCD, 0xEF, 0x10, 0xE1, 0xFF, 0x77, 0x88}),
              "Read from rk27: ab cd ef 10 e1 ff \n");
}

TEST_F(ReadInputTest, ReadAsksForOnePacketWhenItHoldsTheReportElseSixtyFourBytes) {
    const struct {
        std::vector<vp::Pipe> pipes; // the last IN pipe is read
        ULONG asked;
    } cases[] = {
        {{{UsbdPipeTypeInterrupt, 0x81, 8}}, 8},
        {{{UsbdPipeTypeInterrupt, 0x81, 6}}, 6},
        {{{UsbdPipeTypeInterrupt, 0x81, 64}}, 64},
        {{{UsbdPipeTypeInterrupt, 0x81, 512}}, 64},
        {{{UsbdPipeTypeInterrupt, 0x81, 0}}, 64},
        // Packets smaller than the six bytes looked at: a report spans them.
        {{{UsbdPipeTypeInterrupt, 0x81, 5}}, 64},
        {{{UsbdPipeTypeInterrupt, 0x81, 1}}, 64},
        {{{UsbdPipeTypeBulk, 0x82, 8}}, 8},
        {{{UsbdPipeTypeBulk, 0x82, 512}}, 64},
        {{{UsbdPipeTypeBulk, 0x83, 64}, {UsbdPipeTypeInterrupt, 0x85, 8}}, 8},
        {{{UsbdPipeTypeInterrupt, 0x81, 8}, {UsbdPipeTypeBulk, 0x82, 32}}, 32},
    };
    for (const auto& c : cases) {
        PendantDevice opened;
        OpenWithPipes(opened, c.pipes);
        CaptureStdout([&] { opened.ReadInput(); });
        const auto reads = vp::CallsOf(vp::Call::WinUsb_ReadPipe);
        ASSERT_EQ(reads.size(), 1u);
        EXPECT_EQ(reads[0].args[1], c.pipes.back().id);
        EXPECT_EQ(reads[0].args[2], c.asked)
            << "pipe 0x" << std::hex << int(c.pipes.back().id) << std::dec << ", "
            << c.pipes.back().maxPacket << "-byte packets";
        EXPECT_EQ(reads[0].args[4], 0u); // synchronous
    }
}

TEST_F(ReadInputTest, AReportSpanningSmallPacketsIsReadWhole) {
    PendantDevice small;
    OpenWithPipes(small, {{UsbdPipeTypeInterrupt, 0x81, 4}});
    // 4 + 4 (and the zero-length packet that ends it), then 4 + 2.
    vp::QueueReport({0x04, 0x00, 0x00, 0x12, 0x05, 0x00, 0x00, 0x00});
    vp::QueueReport({0x04, 0x00, 0x00, 0x12, 0x02, 0x00});
    std::string out;
    for (int i = 0; i < 2; ++i)
        out += CaptureStdout([&] { small.ReadInput(); });
    EXPECT_EQ(out, "Read from rk27: 4 0 0 12 5 0 \nRead from rk27: 4 0 0 12 2 0 \n");
    EXPECT_EQ(small.CoordSet2[1], 7.0f);
}

TEST_F(ReadInputTest, TheBytesLookedAtAreClearedBeforeEachRead) {
    // A read that delivers less leaves the rest of the buffer as it was, so
    // what the tool prints and decodes there must be what it cleared.
    for (const std::vector<std::uint8_t>& report :
         {std::vector<std::uint8_t>(8, 0xEE), std::vector<std::uint8_t>{0x04}}) {
        vp::QueueReport(report);
        DirtyTheStack();
        CaptureStdout([&] { device.ReadInput(); });
    }
    for (const auto& read : vp::CallsOf(vp::Call::WinUsb_ReadPipe)) {
        ASSERT_GE(read.before.size(), InputReportLookedAt);
        EXPECT_EQ(Hex({read.before.begin(), read.before.begin() + InputReportLookedAt}),
                  "00 00 00 00 00 00");
    }
}

TEST_F(ReadInputTest, ReportsThatFillTheirPacketAreEachCounted) {
    // 8-byte reports on a pipe of 8-byte packets end no read by a short
    // packet: a 64-byte read would gather them and lose all but the first.
    for (int i = 0; i < 5; ++i)
        vp::QueueReport({0x04, 0x00, 0x00, 0x11, 0x01, 0x00, 0x00, 0x00});
    std::string out;
    for (int i = 0; i < 5; ++i)
        out += CaptureStdout([&] { device.ReadInput(); });
    EXPECT_EQ(device.CoordSet2[0], 5.0f);
    std::string line = "Read from rk27: 4 0 0 11 1 0 \n";
    EXPECT_EQ(out, line + line + line + line + line);
}

TEST_F(ReadInputTest, ShortReportsReadAsZerosBeyondWhatArrived) {
    struct {
        std::vector<std::uint8_t> report;
        const char* trace;
        float axis2;
    } cases[] = {
        // A read of nothing is the zero-length packet that ends a transfer:
        // no report, no trace line.
        {{}, "", 20.0f},
        {{0x04}, "Read from rk27: 4 0 0 0 0 0 \n", 20.0f},
        {{0x04, 0x00, 0x00, 0x12}, "Read from rk27: 4 0 0 12 0 0 \n", 20.0f},
        {{0x04, 0x00, 0x00, 0x12, 0x05}, "Read from rk27: 4 0 0 12 5 0 \n", 25.0f},
    };
    for (const auto& c : cases) {
        device.CoordSet2[1] = 20.0f;
        // A full report first, so stale bytes would show if the buffer kept them.
        Read({0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE});
        EXPECT_EQ(Read(c.report), c.trace);
        EXPECT_EQ(device.CoordSet2[1], c.axis2);
    }
}

TEST_F(ReadInputTest, ReadTakesNoMoreThanSixtyFourBytes) {
    PendantDevice bulk;
    OpenWithPipes(bulk, {{UsbdPipeTypeBulk, 0x82, 512}});
    std::vector<std::uint8_t> report(64, 0x01);
    report[3] = 0x13;
    report[4] = 0x02;
    vp::QueueReport(report);
    EXPECT_EQ(CaptureStdout([&] { bulk.ReadInput(); }), "Read from rk27: 1 1 1 13 2 1 \n");
    EXPECT_EQ(bulk.CoordSet2[2], 2.0f);
    EXPECT_EQ(vp::CallsOf(vp::Call::WinUsb_ReadPipe)[0].bytes.size(), 64u);
}

TEST_F(ReadInputTest, TimeOutAndErrorsPrintNothingAndChangeNothing) {
    std::int32_t r = -1;
    std::string out = CaptureStdout([&] { r = device.ReadInput(); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(r, 0);
    EXPECT_EQ(device.LastReadError, static_cast<DWORD>(ERROR_SEM_TIMEOUT));

    vp::Unplug();
    out = CaptureStdout([&] { r = device.ReadInput(); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(r, 0);
    EXPECT_EQ(device.LastReadError, static_cast<DWORD>(ERROR_BAD_COMMAND));
    EXPECT_FALSE(device.DisplayDirty);
}

TEST_F(ReadInputTest, InvalidInterfaceHandleReadsNothing) {
    PendantDevice unopened;
    EXPECT_EQ(unopened.ReadInput(), 1);
    EXPECT_EQ(vp::CountOf(vp::Call::WinUsb_ReadPipe), 0u);
}
