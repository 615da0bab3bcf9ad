// The readers of the script commands' arguments, one per command (or per
// commands of one form): each fills the step from the words after the
// command's name, or says what is wrong with them. The command table
// (play/commands.cpp) holds them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "play/script.h"

namespace play {

// Every reader takes the same three arguments, so that the table can hold
// them; most need only the words.
using Words = std::vector<std::string>;

std::string ParseDevice(std::string_view restOfLine, const Words& args, Step& step);
std::string ParsePath(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseBytes(std::string_view restOfLine, const Words& args, Step& step);
std::string ParsePipes(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseFailStep(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseSet(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseWordStep(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseDisplayStep(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseJog(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseTimeout(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseTurns(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseWaitRead(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseWaitFrames(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseRandom(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseQuiet(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseZlp(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseReportSize(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseHidLength(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseSpeed(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseUnanswered(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseAwait(std::string_view restOfLine, const Words& args, Step& step);
std::string ParseAnswer(std::string_view restOfLine, const Words& args, Step& step);
std::string NoArguments(std::string_view restOfLine, const Words& args, Step& step);

} // namespace play
