#include "sim/demo.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/entry.h"
#include "backends/virtual/virtual_pendant.h"
#include "play/script.h"

namespace sim {

namespace {

void QueueWheelSequence() {
    namespace vp = virtual_pendant;
    vp::QueueReport(play::WheelBytes(1, 1));
    vp::QueueReport(play::WheelBytes(1, 1));
    vp::QueueTimeout();
    vp::QueueReport(play::WheelBytes(1, 5));
    vp::QueueReport(play::WheelBytes(1, -2));
    vp::QueueReport(play::WheelBytes(2, 31));
    vp::QueueTimeout();
    vp::QueueReport(play::WheelBytes(2, -1));
    vp::QueueReport(play::WheelBytes(3, 10));
    vp::QueueReport(play::WheelBytes(3, -31));
    vp::QueueTimeout();
    vp::QueueReport(play::WheelBytes(0, 5)); // axis selector off: the wheel moves nothing
    vp::QueueReport(play::WheelBytes(3, 3));
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
