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

// Name for name: a call the toolkit has and the platform does not (or the
// other way round) does not compile.
PlatformCall ToPlatformCall(play::Call call) {
    switch (call) {
#define PLATFORM_CALL(result, name, parameters)                                                    \
    case play::Call::name:                                                                         \
        return PlatformCall::name;
#include "usb/standin/platform_calls.inc"
#undef PLATFORM_CALL
    }
    return PlatformCall::GetLastError;
}

std::vector<PipeDescription> ToPipes(const std::vector<play::Pipe>& pipes) {
    std::vector<PipeDescription> out;
    for (const play::Pipe& pipe : pipes) {
        USBD_PIPE_TYPE type = UsbdPipeTypeControl;
        switch (pipe.type) {
        case play::PipeType::Control:
            type = UsbdPipeTypeControl;
            break;
        case play::PipeType::Isochronous:
            type = UsbdPipeTypeIsochronous;
            break;
        case play::PipeType::Bulk:
            type = UsbdPipeTypeBulk;
            break;
        case play::PipeType::Interrupt:
            type = UsbdPipeTypeInterrupt;
            break;
        }
        out.push_back({type, pipe.id, pipe.maxPacket, pipe.interval});
    }
    return out;
}

} // namespace sim
