// The whole tool: open the pendant, then keep its display current and follow
// its wheel; or say why it could not be opened and wait for a word.
#pragma once

#include <functional>
#include <istream>
#include <string>

#include "app/check.h"

struct PendantDevice;

// Returns 0 once the closing read is done (failure path). On success it loops
// for ever; anotherTurn, when given, is asked before every turn and ends the
// loop (and closes the pendant) when it says false. It lets the simulator and
// tests stop by themselves, and change display values through the record's
// setters between turns.
using TurnHook = std::function<bool(PendantDevice&)>;

// What the command line asks for. Arguments other than these are ignored.
struct ToolOptions {
    // --reconnect: follow the pendant across an unplug (see app/reconnect.h)
    // instead of reading a dead handle until restarted.
    bool reconnect = false;
    // --check [--step-timeout S] [--report FILE] [--no-person]: the guided
    // check (app/check.h) instead of the loop.
    bool check = false;
    CheckOptions checkOptions;
    // Why the check's options cannot be taken ("" when they can).
    std::string problem;
};
ToolOptions ParseOptions(int argc, const char* const* argv);

// The messages of a pendant that could not be opened, and the platform's
// advice: the same for the loop and the check.
void PrintOpenFailure(HRESULT r, BOOL noDevice);

int RunTool(std::istream& in, const TurnHook& anotherTurn = {}, const ToolOptions& options = {});

// One turn of the main loop: send the display if it changed, read one report,
// and after a read that failed at once (an unplugged pendant) wait out the
// rest of the read time-out so the loop does not spin.
void RunTurn(PendantDevice& device);
