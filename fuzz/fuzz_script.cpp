// The simulator's script language: any text through the parser (in both
// programs' dialects), and every script pendant-sim takes through RunScript. A bad script names a
// line that exists and says what is wrong with it; a good one runs to the end (turns are capped, so
// that one input cannot take minutes) with the tool returning 0 and every output write going
// through. The same script as the person at pendant-sim --check: the check ends by itself with
// one of its exit statuses, and an await it never asked for names a line of the script.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "play/script.h"
#include "sim/check_runner.h"
#include "sim/interleaver.h"
#include "sim/script_runner.h"

namespace {
constexpr unsigned long MaxTurns = 2000;
int devNull = -1;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    fuzz::Check(devNull >= 0, "cannot open /dev/null");
    return 0;
}

// pendant-gadget's dialect: the same rules for errors, and no step that the
// gadget cannot run gets through.
void CheckGadgetDialect(const std::string& text) {
    std::istringstream in(text);
    play::Script script;
    play::ScriptError error;
    if (!play::ParseScript(in, script, error, play::Dialect::Gadget)) {
        const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
        fuzz::Check(error.line >= 1 && error.line <= lines,
                    "the gadget's error names no line of the script");
        fuzz::Check(!error.message.empty(), "a gadget error without a message");
        return;
    }
    using play::Op;
    for (const play::Step& step : script.steps) {
        const Op gadgetOps[] = {Op::Report,     Op::Jog,   Op::Unplug,  Op::Replug,
                                Op::WaitRead,   Op::Stall, Op::Unstall, Op::Burst,
                                Op::WaitFrames, Op::Timed, Op::Quiet,   Op::Stats};
        fuzz::Check(std::find(std::begin(gadgetOps), std::end(gadgetOps), step.op) !=
                        std::end(gadgetOps),
                    "the gadget's dialect let a pendant-sim command through");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckGadgetDialect(text);
    std::istringstream in(text);
    play::Script script;
    play::ScriptError error;
    if (!play::ParseScript(in, script, error)) {
        const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
        fuzz::Check(error.line >= 1 && error.line <= lines,
                    "the error names no line of the script");
        fuzz::Check(!error.message.empty(), "an error without a message");
        return 0;
    }
    unsigned long turns = 0;
    int lastLine = 0;
    for (const play::Step& step : script.steps) {
        fuzz::Check(step.line > lastLine, "steps out of line order");
        lastLine = step.line;
        if (step.op == play::Op::Turns || step.op == play::Op::Timeout)
            turns += step.count;
    }
    if (turns > MaxTurns)
        return 0;
    capture::ToolOutput output;
    fuzz::Check(output.Problem().empty(), "the tool's output cannot be caught");
    sim::Interleaver out(output, devNull);
    fuzz::Check(sim::RunScript(script, out) == 0, "the tool did not return 0");
    fuzz::Check(output.Lost().empty() && out.Failed().empty(), "output was lost");

    if (!sim::CheckScriptProblem(script).empty())
        return 0;
    CheckOptions options;
    options.stepTimeoutMs = 1000; // virtual time: about 33 turns a wait
    const sim::CheckRun run = sim::RunCheckScript(script, options, out);
    fuzz::Check(run.status == CheckPassed || run.status == CheckFailed ||
                    run.status == CheckNotOpened,
                "the check ended with no status of its own");
    if (!run.problem.empty()) {
        const int line = std::atoi(run.problem.c_str());
        fuzz::Check(line >= 1 && line <= lastLine, "an await that never came names no line");
    }
    fuzz::Check(output.Lost().empty() && out.Failed().empty(), "the check's output was lost");
    return 0;
}
