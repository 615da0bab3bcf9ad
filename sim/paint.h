// Puts a rendered screen on the curses terminal: the selected axis
// highlighted, the title bold, the cursor where a line is being typed.
// Shared by pendant-sim and pendant-gadget.
#pragma once

#include "sim/screen.h"

namespace sim {
void Paint(const Rendered& rendered);
} // namespace sim
