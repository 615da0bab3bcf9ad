// The pendant port: what a pendant can do for a script or a person at the
// keys, whichever pendant it is - the virtual one in this process
// (pendant-sim) or the gadget on USB (pendant-gadget). The script steps both
// programs take, the interactive session and the key map run on it.
//
// A struct of functions rather than a base class with virtual calls: each
// program builds its one port once, over objects it already has (the
// virtual pendant's calls; the gadget's function and configfs gadget), and
// only the session and the executor call through it, a few times a second.
// An operation a pendant cannot do is left empty, and says so when asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "play/script.h"
#include "protocol/display.h"

namespace play {

// The last display frame the pendant received, and how many it has.
struct PortFrame {
    unsigned long long frames = 0;
    bool have = false; // false before the first frame (or while the display is dark)
    std::vector<std::uint8_t> bytes;
    protocol::DecodedDisplay display;
    std::string problem; // "" for a well-formed frame
};

struct PendantPort {
    std::function<void(std::vector<std::uint8_t> report)> queue; // sent when the host reads
    // Each "" or why it could not be done.
    std::function<std::string()> unplug;
    std::function<std::string()> replug;
    std::function<void(bool on)> halt;    // halt the input endpoint, or clear the halt
    std::function<std::size_t()> pending; // reports not yet read by the host
    std::function<PortFrame()> last;
    // Until the host has read every queued report / has sent n frames in
    // all; false after seconds or a stop.
    std::function<bool(unsigned seconds)> waitRead;
    std::function<bool(unsigned long long n, unsigned seconds)> waitFrames;
    std::function<bool()> stopRequested; // empty: nothing stops the waits
    // The input report's size as the pendant's report descriptor declares
    // it (0: no declared size); and whether a zero-length packet follows
    // every report that fills its last packet (on) or none (off).
    std::function<std::size_t()> reportSize;
    std::function<void(bool on)> zeroLengthPacket;
};

// Runs a step any pendant port can do: report, jog, unplug, replug, zlp,
// wait-read, wait-frames, stall and unstall. "" when it was done, else why
// the script cannot go on. The wheel's report is made the pendant's report
// size; a report of another size is refused unless it is --raw.
std::string RunPortStep(const Step& step, const PendantPort& port);
// Whether RunPortStep runs this step.
bool IsPortStep(Op op);

} // namespace play
