// Every report exactly once, whatever the pendant's packets: input reports of
// 1 to 64 bytes on packets of 4 to 64 bytes, with and without the zero-length
// packet that ends a report filling its last packet. Each report must give
// one trace line and its count exactly once; no read may give a line for
// bytes never sent.
#include <string>
#include <vector>

#include "protocol/report_descriptor.h"
#include "support/virtual_pendant_test.h"

namespace vp = virtual_pendant;

namespace {

using Zlp = vp::ZeroLengthPacket;

struct Shape {
    std::size_t reportBytes;
    USHORT packet;
    Zlp zlp;
    bool declared; // the pendant has a report descriptor
};

std::string Describe(const Shape& s) {
    const char* zlp = s.zlp == Zlp::Always ? "always" : s.zlp == Zlp::Never ? "never" : "spanning";
    return std::to_string(s.reportBytes) + "-byte reports on " + std::to_string(s.packet) +
           "-byte packets, zero-length packet " + zlp +
           (s.declared ? "" : ", no report descriptor");
}

// The report i of a run: the wheel's report stretched or cut to n bytes, the
// count byte 1..3 so that a lost, doubled or merged report shows in the sum.
std::vector<std::uint8_t> Report(std::size_t n, int i) {
    const auto wheel = WheelReport(2, 1 + i % 3);
    std::vector<std::uint8_t> r(n, 0xA5);
    for (std::size_t k = 0; k < n && k < wheel.size(); ++k)
        r[k] = wheel[k];
    return r;
}

// A shape is well-defined when a read can tell where each report ends: a
// declared size is read exactly; without one, a read of one packet takes a
// report that fits it, and a read of 64 bytes (packets below six bytes)
// needs a short or zero-length last packet.
bool WellDefined(const Shape& s) {
    if (s.declared)
        return true;
    if (s.packet >= InputReportLookedAt)
        return s.reportBytes <= s.packet;
    const bool fillsLast = s.reportBytes % s.packet == 0;
    return !fillsLast || s.zlp == Zlp::Always ||
           (s.zlp == Zlp::AfterSpanningReports && s.reportBytes > s.packet);
}

std::vector<Shape> Shapes() {
    std::vector<Shape> shapes;
    for (Zlp zlp : {Zlp::AfterSpanningReports, Zlp::Always, Zlp::Never}) {
        for (USHORT packet : {8, 16, 32, 64})
            for (std::size_t n = 1; n <= 64; ++n)
                shapes.push_back({n, packet, zlp, true});
        for (USHORT packet : {4, 6})
            for (std::size_t n = 1; n <= 64; ++n)
                if (Shape s{n, packet, zlp, false}; WellDefined(s))
                    shapes.push_back(s);
    }
    return shapes;
}

class ReportShapes : public VirtualPendantTest {};

} // namespace

TEST_F(ReportShapes, EveryReportGivesOneTraceLineAndItsCountOnce) {
    constexpr int Reports = 4;
    for (const Shape& s : Shapes()) {
        vp::Reset();
        vp::KeepHistory(false);
        vp::Device d = DeviceWithPipes({{UsbdPipeTypeInterrupt, 0x81, s.packet}});
        d.zeroLengthPacket = s.zlp;
        if (s.declared)
            d.reportDescriptor = protocol::PendantReportDescriptor(s.reportBytes);
        else
            d.reportDescriptor.clear();
        vp::SetDevice(d);
        PendantDevice device;
        OpenQuietly(device);

        std::string expected;
        float sum = 0;
        for (int i = 0; i < Reports; ++i) {
            const auto r = Report(s.reportBytes, i);
            vp::QueueReport(r);
            char line[64];
            auto at = [&](std::size_t k) -> unsigned { return k < r.size() ? r[k] : 0; };
            std::snprintf(line, sizeof line, "Read from rk27: %x %x %x %x %x %x \n", at(0), at(1),
                          at(2), at(3), at(4), at(5));
            expected += line;
            if (r.size() > JogDeltaByte)
                sum += static_cast<float>(DecodeJog(r[JogDeltaByte]));
        }
        // Every packet and zero-length packet is read, then reads time out.
        const std::string out = CaptureStdout([&] {
            for (int turn = 0; turn < 4 * Reports + 4; ++turn)
                device.ReadInput();
        });
        EXPECT_EQ(out, expected) << Describe(s);
        EXPECT_EQ(device.CoordSet2[1], sum) << Describe(s);
        EXPECT_EQ(vp::PendingInput(), 0u) << Describe(s);
        device.Close();
    }
}
