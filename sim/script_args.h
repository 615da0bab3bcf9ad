// The script language's argument readers, one per command (script.cpp has
// the command table and reads lines). Internal to the parser.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sim/script.h"

namespace sim::script_args {

// How many words the command takes, or SIZE_MAX when it checks that itself.
std::size_t Wanted(Op op);

// Reads the command's arguments into step; "" or what is wrong with them.
std::string Parse(Op op, std::string_view restOfLine, const std::vector<std::string>& args,
                  Step& step);

std::string_view Trim(std::string_view s);
std::string Quoted(const std::string& s);

} // namespace sim::script_args
