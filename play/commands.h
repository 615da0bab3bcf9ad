// The script language's commands, one table: each command's name, step,
// usage, what pendant-sim's and pendant-gadget's --commands say of it (and
// so which of them takes it), why the other one refuses it, how many words
// it takes and the reader of its arguments (play/readers.h). script.cpp
// reads lines with it; --commands is printed from it and a test holds
// docs/sim.md and docs/gadget.md to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "play/script.h"

namespace play {

// A command that checks its number of words itself.
inline constexpr std::size_t AnyWords = SIZE_MAX;

struct Command {
    const char* name;
    Op op;
    const char* usage; // the name and its arguments, as errors and --commands show them
    // What each program's --commands says of it, lines after the first
    // indented: nullptr where the program refuses it, "" where the row
    // before says it for both (shown as "unplug / replug").
    const char* simSummary;
    const char* gadgetSummary;
    const char* elsewhere; // why the program that refuses it does
    std::size_t words;     // how many words it takes, or AnyWords
    std::string (*parse)(std::string_view restOfLine, const std::vector<std::string>& args,
                         Step& step);
};

std::span<const Command> Commands();
// nullptr for a name no command has.
const Command* FindCommand(std::string_view name);
const char* SummaryOf(const Command& command, Dialect dialect);
bool Takes(const Command& command, Dialect dialect);
// What --commands prints: the commands the program takes, one a line (or
// two, where the usage is longer than its column), with what they do.
std::string CommandSummary(Dialect dialect);

std::string_view Trim(std::string_view s);
std::string Quoted(const std::string& s);

} // namespace play
