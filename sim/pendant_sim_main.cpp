// pendant-sim: the tool itself, driving a virtual pendant. On a terminal it
// draws the pendant's display and takes keys for its wheel and axis selector;
// without one it plays a fixed wheel sequence in plain lines and ends. It
// also plays scripts, runs the tool's check with a scripted person, and
// decodes captured frames and reports.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <iterator>
#include <sstream>
#include <unistd.h>

#include "play/commands.h"
#include "play/script.h"
#include "sim/check_runner.h"
#include "sim/decode.h"
#include "sim/demo.h"
#include "sim/interactive.h"
#include "sim/interleaver.h"
#include "sim/script_runner.h"

#include "pendant_version.h"

namespace {

// Usage errors, unreadable and bad scripts alike.
constexpr int BadInput = 2;

std::string Joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& w : words)
        text += w + " ";
    return text;
}

std::string AllOf(std::istream& in) {
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs play with the tool's output interleaved with the simulator's; false
// (said on standard error) when that output could not be set up or lost
// something.
bool WithToolOutput(const std::function<void(sim::Interleaver&)>& play) {
    capture::ToolOutput output;
    if (!output.Problem().empty()) {
        std::fprintf(stderr, "pendant-sim: %s\n", output.Problem().c_str());
        return false;
    }
    sim::Interleaver out(output, output.OriginalFd());
    play(out);
    for (const std::string* lost : {&output.Lost(), &out.Failed()})
        if (!lost->empty()) {
            std::fprintf(stderr, "pendant-sim: %s\n", lost->c_str());
            return false;
        }
    return true;
}

int RunScriptFile(const std::string& name) {
    play::Script script;
    std::string problem;
    if (!play::LoadScript(name, play::Dialect::Sim, script, problem)) {
        std::fprintf(stderr, "pendant-sim: %s\n", problem.c_str());
        return BadInput;
    }
    for (const play::Step& step : script.steps)
        if (play::IsPersonStep(step.op)) {
            const play::Command* command = play::Commands().data();
            for (const play::Command& c : play::Commands())
                if (c.op == step.op)
                    command = &c;
            std::fprintf(stderr,
                         "pendant-sim: %s:%d: \"%s\" is for pendant-sim --check: without the "
                         "check nothing asks for a person\n",
                         name == "-" ? "<stdin>" : name.c_str(), step.line, command->name);
            return BadInput;
        }
    int status = 0;
    if (!WithToolOutput([&](sim::Interleaver& out) { status = sim::RunScript(script, out); }))
        return 1;
    return status;
}

// Whatever went to standard output through stdio must have got there.
int CheckedStdout(int status) {
    if (std::fflush(stdout) == EOF || std::ferror(stdout)) {
        std::fprintf(stderr, "pendant-sim: cannot write the output: %s\n", std::strerror(errno));
        return status == 0 ? 1 : status;
    }
    return status;
}

// The decode helpers write through std::cout.
int CheckedStream(int status) {
    std::cout.flush();
    if (!std::cout) {
        std::fprintf(stderr, "pendant-sim: cannot write the output: %s\n", std::strerror(errno));
        return status == 0 ? 1 : status;
    }
    return CheckedStdout(status);
}

struct CheckArgs {
    std::string script; // FILE or -, "" with a demo
    bool demo = false;
    bool faulty = false;
    bool printScript = false;
    // Passed to the check as the tool's own command line has them.
    std::vector<std::string> toCheck;
};

int RunCheckMode(const CheckArgs& args) {
    if ((args.demo || args.faulty) == !args.script.empty() || (args.demo && args.faulty)) {
        std::fprintf(stderr, "pendant-sim: --check takes a script (FILE or -), or --demo or "
                             "--demo-faulty\n");
        return BadInput;
    }
    if (args.printScript && args.script.empty()) {
        std::fputs(
            sim::CheckDemoScript(args.faulty ? sim::CheckDemo::Faulty : sim::CheckDemo::Good),
            stdout);
        return CheckedStdout(0);
    }
    if (args.printScript) {
        std::fprintf(stderr, "pendant-sim: --print-script prints the built-in scripts of --demo "
                             "and --demo-faulty\n");
        return BadInput;
    }
    // The check's options mean what they mean to pendant-test --check.
    std::vector<const char*> argv = {"pendant-sim", "--check"};
    for (const std::string& a : args.toCheck)
        argv.push_back(a.c_str());
    CheckOptions options;
    const std::string bad = ParseCheckOptions(static_cast<int>(argv.size()), argv.data(), options);
    if (!bad.empty()) {
        std::fprintf(stderr, "pendant-sim: %s\n", bad.c_str());
        return BadInput;
    }

    play::Script script;
    std::string problem;
    std::string name = args.script;
    if (args.script.empty()) {
        name = args.faulty ? "--demo-faulty" : "--demo";
        std::istringstream text(
            sim::CheckDemoScript(args.faulty ? sim::CheckDemo::Faulty : sim::CheckDemo::Good));
        play::ScriptError error;
        if (!play::ParseScript(text, script, error))
            problem = name + ":" + std::to_string(error.line) + ": " + error.message;
    } else {
        play::LoadScript(args.script, play::Dialect::Sim, script, problem);
        if (name == "-")
            name = "<stdin>";
    }
    if (problem.empty()) {
        const std::string wrong = sim::CheckScriptProblem(script);
        if (!wrong.empty())
            problem = name + ":" + wrong;
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "pendant-sim: %s\n", problem.c_str());
        return BadInput;
    }

    sim::CheckRun run;
    if (!WithToolOutput(
            [&](sim::Interleaver& out) { run = sim::RunCheckScript(script, options, out); }))
        return 1;
    if (!run.problem.empty()) {
        std::fprintf(stderr, "pendant-sim: %s:%s\n", name.c_str(), run.problem.c_str());
        return BadInput;
    }
    return run.status;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"pendant-sim: the pendant test tool, driving a virtual pendant.\n"
                 "On a terminal: the pendant's display, keys for its wheel and axis selector.\n"
                 "Otherwise: a fixed wheel sequence in plain lines, then it ends.\n"
                 "--check: pendant-test's check, with a script playing the person at the pendant.",
                 "pendant-sim"};
    app.set_version_flag("--version", std::string("pendant-sim ") + PendantVersion,
                         "Print the version and exit");
    std::string scriptName;
    bool demo = false;
    bool commands = false;
    auto* scriptOption = app.add_option("--script", scriptName,
                                        "Play a script (a file, or - for standard input); "
                                        "see docs/sim.md and --commands")
                             ->type_name("FILE|-");
    app.add_flag("--demo", demo,
                 "Play the fixed wheel sequence in plain lines, then end; with --check: the "
                 "check of a good pendant")
        ->excludes(scriptOption);
    app.add_flag("--commands", commands, "List the script language's commands");

    CheckArgs check;
    auto* checkOption =
        app.add_option("--check", check.script,
                       "Run pendant-test's check against the virtual pendant with a scripted "
                       "person: a script (a file, or - for standard input; await and answer "
                       "are the person's), or with --demo a good pendant, with --demo-faulty "
                       "a faulty one")
            ->expected(0, 1)
            ->type_name("[FILE|-]")
            ->excludes(scriptOption);
    app.add_flag("--demo-faulty", check.faulty,
                 "With --check: a pendant whose wheel never turns backward and whose display "
                 "is rejected")
        ->needs(checkOption);
    app.add_flag("--print-script", check.printScript,
                 "With --check --demo or --demo-faulty: print its script and exit")
        ->needs(checkOption);
    std::string stepTimeout, report;
    bool noPerson = false;
    auto* stepTimeoutOption =
        app.add_option("--step-timeout", stepTimeout,
                       "With --check: each wait of a step ends after S seconds (1 to 3600, "
                       "default 30; virtual time)")
            ->type_name("S")
            ->needs(checkOption);
    auto* reportOption = app.add_option("--report", report, "With --check: write its JSON record")
                             ->type_name("FILE")
                             ->needs(checkOption);
    auto* noPersonOption =
        app.add_flag("--no-person", noPerson,
                     "With --check: skip the steps that need a person (display, unplug)")
            ->needs(checkOption);

    std::vector<std::string> frameHex, values, reportHex;
    auto* decodeFrame = app.add_subcommand(
        "decode-frame", "Display frame bytes in hex (48 per frame) -> the ten values; "
                        "reads standard input when no bytes are given");
    decodeFrame->add_option("HEX", frameHex, "Frame bytes");
    auto* encodeFrame =
        app.add_subcommand("encode-frame", "Ten values -> the 48 frame bytes the tool sends");
    encodeFrame->add_option("VALUES", values, "set1 axis 1..3, set2 axis 1..3, words 0..3")
        ->expected(10);
    auto* decodeReport = app.add_subcommand(
        "decode-report", "An input report in hex -> axis and count; reads one report a "
                         "line from standard input when no bytes are given");
    decodeReport->add_option("HEX", reportHex, "Report bytes");
    app.require_subcommand(0, 1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : BadInput;
    }

    if (commands) {
        std::fputs(play::CommandSummary(play::Dialect::Sim).c_str(), stdout);
        return CheckedStdout(0);
    }
    if (*decodeFrame)
        return CheckedStream(
            sim::DecodeFrameCommand(frameHex.empty() ? AllOf(std::cin) : Joined(frameHex),
                                    frameHex.empty(), std::cout, std::cerr));
    if (*encodeFrame)
        return CheckedStream(sim::EncodeFrameCommand(values, std::cout, std::cerr));
    if (*decodeReport)
        return CheckedStream(
            sim::DecodeReportCommand(reportHex.empty() ? AllOf(std::cin) : Joined(reportHex),
                                     reportHex.empty(), std::cout, std::cerr));
    if (*checkOption) {
        check.demo = demo;
        if (*stepTimeoutOption)
            check.toCheck.insert(check.toCheck.end(), {"--step-timeout", stepTimeout});
        if (*reportOption)
            check.toCheck.insert(check.toCheck.end(), {"--report", report});
        if (*noPersonOption && noPerson)
            check.toCheck.push_back("--no-person");
        return CheckedStdout(RunCheckMode(check));
    }
    if (!scriptName.empty())
        return RunScriptFile(scriptName);
    if (!demo && isatty(STDIN_FILENO) && isatty(STDOUT_FILENO)) {
        const int status = sim::RunInteractive();
        if (status >= 0)
            return status;
        std::fprintf(stderr, "pendant-sim: cannot draw on this terminal; plain lines instead\n");
    }
    return CheckedStdout(sim::RunDemo());
}
