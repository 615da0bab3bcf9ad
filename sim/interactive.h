// The interactive pendant-sim: the pendant's display drawn in the terminal,
// the keys as its axis selector and wheel, the tool's output below.
#pragma once

namespace sim {
// Runs until the user quits. Returns the tool's exit status, or -1 when the
// terminal cannot be driven (the caller then falls back to plain lines).
int RunInteractive();
} // namespace sim
