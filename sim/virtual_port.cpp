#include "sim/virtual_port.h"

#include <memory>

#include "backends/virtual/virtual_pendant.h"
#include "protocol/report_descriptor.h"

namespace sim {

namespace vp = virtual_pendant;

play::PendantPort VirtualPendantPort() {
    // Frames received when it was last unplugged: the display shows only
    // later ones.
    const auto dark = std::make_shared<unsigned>(0);
    play::PendantPort port;
    port.queue = [](std::vector<std::uint8_t> report) { vp::QueueReport(report); };
    port.unplug = [dark] {
        vp::Unplug();
        *dark = vp::FramesReceived();
        return std::string();
    };
    port.replug = [] {
        vp::Replug();
        return std::string();
    };
    port.pending = [] { return vp::PendingInput(); };
    port.last = [dark] {
        play::PortFrame frame;
        frame.frames = vp::FramesReceived();
        frame.have = frame.frames > *dark;
        if (frame.have) {
            const vp::ReceivedFrame& last = vp::LastFrame();
            frame.bytes = last.bytes;
            frame.display = last.display;
            frame.problem = last.problem;
        }
        return frame;
    };
    port.reportSize = [] {
        const std::vector<std::uint8_t>& d = vp::CurrentDevice().reportDescriptor;
        return protocol::LargestInputReport(d.data(), d.size(), InputReportBytes);
    };
    port.zeroLengthPacket = [](bool on) {
        vp::Device device = vp::CurrentDevice();
        device.zeroLengthPacket = on ? vp::ZeroLengthPacket::Always : vp::ZeroLengthPacket::Never;
        vp::SetDevice(device);
    };
    return port;
}

} // namespace sim
