// The demonstration run: the tool against a virtual pendant that plays a
// fixed wheel sequence, in plain lines, ending by itself. What pendant-sim
// does when it has no terminal to draw on.
#pragma once

namespace sim {
int RunDemo();
}
