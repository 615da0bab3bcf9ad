// Puts a rendered screen on the curses terminal: the selected axis
// highlighted, the title bold, the cursor where a line is being typed; and
// sets the terminal up for the keys. Shared by pendant-sim and
// pendant-gadget.
#pragma once

#include "play/screen.h"

namespace play {
// Sets the current curses terminal up for the keys: raw, no echo, keypad
// keys, reads that do not wait, a short Escape delay, no cursor.
void TakeKeys();
void Paint(const Rendered& rendered);
} // namespace play
