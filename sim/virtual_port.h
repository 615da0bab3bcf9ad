// The virtual pendant (backends/virtual) as a pendant port, for pendant-sim's
// script steps and interactive screen.
#pragma once

#include <vector>

#include "play/port.h"
#include "play/script.h"
#include "usb/platform_types.h"

namespace sim {

// Unplugged, its display goes dark: what it showed before is gone until the
// next frame. It cannot halt, and nothing waits on it (the tool turns
// in-process, when the script says so): those stay empty.
play::PendantPort VirtualPendantPort();

// A script's call and pipes in the platform's terms, for the virtual
// pendant.
PlatformCall ToPlatformCall(play::Call call);
std::vector<PipeDescription> ToPipes(const std::vector<play::Pipe>& pipes);

} // namespace sim
