// Following a pendant that is unplugged and plugged in again: closing the dead
// handles, looking for it through the usual discovery at most once a second,
// and opening it again with its survey and display.
#pragma once

#include "usb/winapi.h"

struct PendantDevice;

// Discoveries made while the pendant is away are at least this far apart.
inline constexpr DWORD ReconnectIntervalMs = 1000;

// Whether a read's error says the pendant has gone: ERROR_BAD_COMMAND (what
// WinUSB gives on a handle whose device was removed) or
// ERROR_DEVICE_NOT_CONNECTED (the Linux backend's word for a vanished USB
// device). A time-out is an idle pendant; a general failure is also what a
// stall or an overflow of a pendant still there gives, so neither counts.
bool DeviceGone(DWORD readError);

// Where a reconnecting loop stands between turns.
struct Reconnection {
    bool away = false;    // the handles are closed, the pendant is looked for
    bool looked = false;  // a discovery was made since it went away
    DWORD lastLookAt = 0; // GetTickCount() of that discovery
};

// The state after an opening at start that failed: away, the look just made
// counting as the first, so the next comes a second later.
Reconnection AwayFromStart();

// One turn of a loop that follows the pendant across an unplug. With the
// pendant there it is RunTurn, and a read that says the pendant has gone
// closes its handles. While it is away: a discovery when none was made for
// ReconnectIntervalMs (the first at once), and the rest of the read time-out
// waited out, so an unplugged turn costs what it did without the option.
// When the discovery finds it and it opens, the survey is printed again and
// the display values kept are marked dirty, so the next turn sends them. A
// pendant found but failing to open (access denied, say) stays away and is
// tried again a second later. Returns true when the pendant came back in
// this turn.
bool RunReconnectingTurn(PendantDevice& device, Reconnection& state);
