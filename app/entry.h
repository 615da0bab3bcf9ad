// The whole tool: open the pendant, then keep its display current and follow
// its wheel; or say why it could not be opened and wait for a word.
#pragma once

#include <functional>
#include <istream>

#include "app/options.h"
#include "app/turn.h"

struct PendantDevice;

// Returns 0 once the closing read is done (failure path). On success it loops
// for ever; anotherTurn, when given, is asked before every turn and ends the
// loop (and closes the pendant) when it says false. It lets the simulator and
// tests stop by themselves, and change display values through the record's
// setters between turns. options.check is not looked at: the check is a
// program of its own (check/check.h) that pendant-test's main runs instead.
using TurnHook = std::function<bool(PendantDevice&)>;

int RunTool(std::istream& in, const TurnHook& anotherTurn = {}, const ToolOptions& options = {});
