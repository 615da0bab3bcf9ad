#include "app/entry.h"

#include <iomanip>

#include "app/opening.h"
#include "app/reconnect.h"
#include "pendant/pendant_device.h"

int RunTool(std::istream& in, const TurnHook& anotherTurn, const ToolOptions& options) {
    PendantDevice device;
    if (OpenPendant(device, SayWhy::Closing).Opened()) {
        if (options.reconnect) {
            Reconnection state;
            while (!anotherTurn || anotherTurn(device))
                RunReconnectingTurn(device, state);
        } else {
            while (!anotherTurn || anotherTurn(device))
                RunTurn(device);
        }
        device.Close();
        return 0;
    }
    // Bounded to the buffer: a longer word is cut, and it is discarded anyway.
    char word[64];
    in >> std::setw(sizeof word) >> word;
    return 0;
}
