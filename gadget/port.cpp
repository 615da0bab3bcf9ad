#include "gadget/port.h"

#include "gadget/log.h"
#include "gadget/player.h"

namespace gadget {

play::PendantPort GadgetPort(ConfigfsGadget& usb, PendantFunction& function) {
    play::PendantPort port;
    port.queue = [&function](std::vector<std::uint8_t> report) {
        function.Queue(std::move(report));
    };
    port.unplug = [&usb] { return Unplug(usb); };
    port.replug = [&usb] { return Plug(usb); };
    port.halt = [&function](bool on) { function.Halt(on); };
    port.pending = [&function] { return function.Pending(); };
    port.last = [&function] {
        const LastFrame last = function.Last();
        play::PortFrame frame;
        frame.frames = function.Snapshot().frames;
        frame.have = last.have;
        frame.bytes = last.bytes;
        frame.display = last.display;
        frame.problem = last.problem;
        return frame;
    };
    port.waitRead = [&function](unsigned seconds) { return function.WaitIdle(seconds); };
    port.waitFrames = [&function](unsigned long long n, unsigned seconds) {
        return function.WaitFrames(n, seconds);
    };
    port.stopRequested = [] { return StopRequested(); };
    port.reportSize = [&function]() -> std::size_t {
        const Layout& layout = function.GetLayout();
        return layout.raw ? 0 : layout.reportBytes;
    };
    port.zeroLengthPacket = [&function](bool on) { function.SetZeroLengthPacket(on); };
    return port;
}

} // namespace gadget
