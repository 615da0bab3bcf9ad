// pendant-gadget's run: the ending signals, and the gadget built, plugged
// in, driven by a script, the screen or standard input, and taken down.
#pragma once

#include <string>

#include "gadget/configfs.h"
#include "gadget/descriptors.h"
#include "play/script.h"

namespace gadget {

inline constexpr int Failed = 1;
inline constexpr int BadInput = 2;

// SIGINT, SIGTERM and SIGHUP are taken by one thread, which asks every wait
// to end; the gadget is taken down before the program ends by the signal
// (EndBySignal, last).
void CatchEndingSignals();
void EndBySignal();

// Returns the exit status. script: the file read whole, or nullptr to read
// commands from the screen (interactive) or standard input.
int Run(const GadgetOptions& options, const Layout& layout, bool unplugged,
        const play::Script* script, const std::string& scriptName, bool interactive);

} // namespace gadget
