// Plays a parsed script: describes the virtual pendant, runs the tool
// against it, applies the script's steps between the tool's turns, and
// prints every frame the pendant receives beside the tool's own output.
#pragma once

#include <string>

#include "backends/virtual/virtual_pendant.h"
#include "play/port.h"
#include "play/script.h"
#include "sim/interleaver.h"

struct PendantDevice;

namespace sim {

// Returns the tool's exit status. The virtual pendant is reset first.
int RunScript(const play::Script& script, Interleaver& out);

// Applies a step that works while the tool runs (any but the device
// description and turns): the record's setters, or the virtual pendant
// through its port. Shared with the interactive console.
// "" or why the step could not be done (a port step's refusal).
std::string ApplyStep(const play::Step& step, PendantDevice& device, const play::PendantPort& port);

// Applies a device description step to the virtual pendant.
void ApplySetup(const play::Step& step);

// Resets the virtual pendant (keeping no history) and applies what comes
// before the script's first running step: the device description, and
// fails that may hit the opening itself. Returns where the running steps
// start.
std::size_t PrepareDevice(const play::Script& script);

// Plays a running step between the tool's turns as script mode does:
// unplug and replug are said ("[sim] line N: unplugged"), and so is a step
// the pendant refused.
void PlayStep(const play::Step& step, PendantDevice& device, const play::PendantPort& port,
              Interleaver& out);

// A received frame as script mode prints it: its bytes, then its values.
std::string DescribeFrame(unsigned number, const virtual_pendant::ReceivedFrame& frame);

} // namespace sim
