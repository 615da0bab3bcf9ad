// pendant-gadget's function and configfs gadget as a pendant port, for the
// script steps both programs take and the interactive screen.
#pragma once

#include "gadget/configfs.h"
#include "gadget/function.h"
#include "play/port.h"

namespace gadget {

// Both must outlive the port. Unplugging and plugging in write the log
// lines the scenarios wait for (UNPLUGGED, PLUGGED UDC).
play::PendantPort GadgetPort(ConfigfsGadget& usb, PendantFunction& function);

} // namespace gadget
