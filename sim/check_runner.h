// pendant-sim --check: the tool's guided check (check/check.h) against the
// virtual pendant, with a person played by a script of the one script
// language. The script's running steps are played from the check's
// beforeTurn: in order, until an await whose prompt the check is not
// showing (when it shows one a later await names, the script goes on
// there); an answer is a line the person types. --demo and --demo-faulty
// are two such scripts, built in.
#pragma once

#include <string>

#include "check/check.h"
#include "play/script.h"
#include "sim/interleaver.h"

namespace sim {

// The built-in scripts: a good pendant and its person; a pendant whose wheel
// never turns backward and whose display its person rejects.
enum class CheckDemo { Good, Faulty };
const char* CheckDemoScript(CheckDemo demo);

// "" when every step may go to the check, else "LINE: what is wrong" for
// the first one that may not: an await of a prompt the check does not have.
std::string CheckScriptProblem(const play::Script& script);

// What a check with a scripted person ended with.
struct CheckRun {
    int status = 0; // the check's exit status (check/check.h)
    // "" when the script was played to its end; else "LINE: why" for its
    // first await that the check never asked for (it ended first). With
    // --no-person an await left at the end is no problem: such a check
    // asks none of the person's questions.
    std::string problem;
};

// Resets the virtual pendant, describes it as the script says, and runs the
// check with the scripted person; prints the check's output as it is, every
// frame the pendant receives and a closing "[sim] check returned ..." line.
CheckRun RunCheckScript(const play::Script& script, const CheckOptions& options, Interleaver& out);

} // namespace sim
