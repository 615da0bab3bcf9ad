// The keys of the interactive screens of pendant-sim and pendant-gadget: one
// map for both. The axis selector, the big step and the typed command line
// live on the Screen and are handled here; what reaches the pendant (a wheel
// turn, an unplug, a command) is handed back for the program to do.
#pragma once

#include <string>

#include "play/screen.h"
#include "play/script.h"

namespace play {

enum class KeyDo {
    Nothing, // handled here (or ignored)
    Quit,
    Redraw, // the terminal was resized
    Wheel,  // turn the wheel by counts on screen.axis
    Unplug,
    Replug,
    Command, // run step, a command of the script language typed after ':'
};

struct KeyResult {
    KeyDo what = KeyDo::Nothing;
    int counts = 0;   // Wheel
    Step step;        // Command
    std::string text; // Command: the line as typed
};

// One key (a curses key code). Commands are read in the program's dialect;
// those that only make sense in a script are refused on the screen.
KeyResult HandleKey(int ch, Screen& screen, Dialect dialect);

// What the bottom line says after a wheel turn.
std::string WheelMessage(int counts, int axis);

} // namespace play
