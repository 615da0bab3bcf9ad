// Runs the script language's steps on the gadget (docs/gadget.md): reports
// queued on the IN endpoint, unplugging and replugging as unbinding and
// binding the UDC, waits for the host, stalls, the random bursts and timed
// reports of the performance scenario, the counters.
#pragma once

#include <string>

#include "gadget/configfs.h"
#include "gadget/function.h"
#include "play/port.h"
#include "play/script.h"

namespace gadget {

// "" when the step was done, else why the script cannot go on (a wait ran
// out, the gadget could not be plugged in, a stop was requested). The steps
// pendant-sim takes too go through the port (GadgetPort).
std::string RunStep(const play::Step& step, const play::PendantPort& port,
                    PendantFunction& function);

// Plugs in and out with the log lines the scenarios wait for: PLUGGED UDC,
// UNPLUGGED. "" or why not.
std::string Plug(ConfigfsGadget& usb);
std::string Unplug(ConfigfsGadget& usb);

} // namespace gadget
