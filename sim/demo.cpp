#include "sim/demo.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/entry.h"
#include "backends/virtual/virtual_pendant.h"

namespace sim {

namespace {

std::vector<std::uint8_t> Jog(std::uint8_t axisCode, int counts) {
    return {0x04, 0x00, 0x00, axisCode, static_cast<std::uint8_t>(counts & 0xFF), 0x00, 0x00, 0x00};
}

void QueueWheelSequence() {
    namespace vp = virtual_pendant;
    vp::QueueReport(Jog(0x11, 1));
    vp::QueueReport(Jog(0x11, 1));
    vp::QueueTimeout();
    vp::QueueReport(Jog(0x11, 5));
    vp::QueueReport(Jog(0x11, -2));
    vp::QueueReport(Jog(0x12, 31));
    vp::QueueTimeout();
    vp::QueueReport(Jog(0x12, -1));
    vp::QueueReport(Jog(0x13, 10));
    vp::QueueReport(Jog(0x13, -31));
    vp::QueueTimeout();
    vp::QueueReport(Jog(0x00, 5)); // axis selector off: the wheel moves nothing
    vp::QueueReport(Jog(0x13, 3));
    vp::QueueTimeout();
}

} // namespace

int RunDemo() {
    namespace vp = virtual_pendant;
    vp::Reset();
    vp::KeepHistory(false);
    QueueWheelSequence();
    vp::OnFrame([](const vp::ReceivedFrame& frame) {
        std::string line = protocol::FormatDisplay(frame.display);
        if (!frame.problem.empty())
            line += "  (malformed frame: " + frame.problem + ")";
        std::printf("[pendant display] %s\n", line.c_str());
        std::fflush(stdout);
    });
    // One more turn once the sequence is played, so its last step reaches the
    // display.
    bool finalTurn = false;
    const int status = RunTool(std::cin, [&finalTurn](PendantDevice&) {
        if (vp::PendingInput() > 0)
            return true;
        if (finalTurn)
            return false;
        finalTurn = true;
        return true;
    });
    vp::OnFrame({});
    std::printf("\n");
    return status;
}

} // namespace sim
