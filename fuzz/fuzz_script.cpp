// The simulator's script language: any text through the parser, and every
// script it takes through RunScript. A bad script names a line that exists
// and says what is wrong with it; a good one runs to the end (turns are
// capped, so that one input cannot take minutes) with the tool returning 0
// and every output write going through.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "sim/script.h"
#include "sim/script_runner.h"
#include "sim/tool_output.h"

namespace {
constexpr unsigned long MaxTurns = 2000;
int devNull = -1;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    fuzz::Check(devNull >= 0, "cannot open /dev/null");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream in(text);
    sim::Script script;
    sim::ScriptError error;
    if (!sim::ParseScript(in, script, error)) {
        const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
        fuzz::Check(error.line >= 1 && error.line <= lines,
                    "the error names no line of the script");
        fuzz::Check(!error.message.empty(), "an error without a message");
        return 0;
    }
    unsigned long turns = 0;
    int lastLine = 0;
    for (const sim::Step& step : script.steps) {
        fuzz::Check(step.line > lastLine, "steps out of line order");
        lastLine = step.line;
        if (step.op == sim::Op::Turns || step.op == sim::Op::Timeout)
            turns += step.count;
    }
    if (turns > MaxTurns)
        return 0;
    sim::ToolOutput output;
    fuzz::Check(output.Problem().empty(), "the tool's output cannot be caught");
    sim::Interleaver out(output, devNull);
    fuzz::Check(sim::RunScript(script, out) == 0, "the tool did not return 0");
    fuzz::Check(output.Lost().empty() && out.Failed().empty(), "output was lost");
    return 0;
}
