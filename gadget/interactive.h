// pendant-gadget on a terminal: the pendant's display as the host last sent
// it, the keys of pendant-sim as its axis selector and wheel, what the host
// did in the pane below.
#pragma once

#include "gadget/configfs.h"
#include "gadget/function.h"

namespace gadget {
// Runs until q, or a stop. Returns the exit status, or -1 when the terminal
// cannot be driven.
int RunInteractive(ConfigfsGadget& usb, PendantFunction& function);
} // namespace gadget
