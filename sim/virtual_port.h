// The virtual pendant (backends/virtual) as a pendant port, for pendant-sim's
// script steps and interactive screen.
#pragma once

#include "play/port.h"

namespace sim {

// Unplugged, its display goes dark: what it showed before is gone until the
// next frame. It cannot halt, and nothing waits on it (the tool turns
// in-process, when the script says so): those stay empty.
play::PendantPort VirtualPendantPort();

} // namespace sim
