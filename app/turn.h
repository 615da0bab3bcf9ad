// One turn of the tool's loop, and the pause that keeps a loop whose pendant
// has gone from spinning.
#pragma once

#include "usb/winapi.h"

struct PendantDevice;

// One turn of the main loop: send the display if it changed, read one report,
// and after a read that failed at once (an unplugged pendant) wait out the
// rest of the read time-out so the loop does not spin.
void RunTurn(PendantDevice& device);

// Sleeps for what is left of the read time-out since started (a
// GetTickCount()), so that a turn that did not wait in a read still takes
// as long as one that timed out.
void WaitOutReadTimeout(DWORD started);
