#include "app/entry.h"

#include <iomanip>

#include "app/opening.h"
#include "app/reconnect.h"
#include "pendant/pendant_device.h"

int RunTool(std::istream& in, const TurnHook& anotherTurn, const ToolOptions& options) {
    PendantDevice device;
    device.ThroughHid = options.hid;
    if (options.reconnect) {
        // Asked to follow the pendant, the tool waits for one not there yet
        // as for one unplugged: it says why once, then looks again.
        Reconnection state;
        if (!OpenPendant(device, SayWhy::Message).Opened())
            state = AwayFromStart();
        while (!anotherTurn || anotherTurn(device))
            RunReconnectingTurn(device, state);
        device.Close();
        return 0;
    }
    if (OpenPendant(device, SayWhy::Closing).Opened()) {
        while (!anotherTurn || anotherTurn(device))
            RunTurn(device);
        device.Close();
        return 0;
    }
    // Bounded to the buffer: a longer word is cut, and it is discarded anyway.
    char word[64];
    in >> std::setw(sizeof word) >> word;
    return 0;
}
