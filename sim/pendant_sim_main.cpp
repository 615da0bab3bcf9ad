// pendant-sim: the tool itself, driving a virtual pendant. On a terminal it
// draws the pendant's display and takes keys for its wheel and axis selector;
// without one it plays a fixed wheel sequence in plain lines and ends. It
// also plays scripts, and decodes captured frames and reports.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <sstream>
#include <unistd.h>

#include "sim/commands.h"
#include "sim/decode.h"
#include "sim/demo.h"
#include "sim/interactive.h"
#include "sim/script.h"
#include "sim/script_runner.h"
#include "sim/tool_output.h"

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

int RunScriptFile(const std::string& name) {
    sim::Script script;
    std::string problem;
    if (!sim::LoadScript(name, sim::Dialect::Sim, script, problem)) {
        std::fprintf(stderr, "pendant-sim: %s\n", problem.c_str());
        return BadInput;
    }
    sim::ToolOutput output;
    if (!output.Problem().empty()) {
        std::fprintf(stderr, "pendant-sim: %s\n", output.Problem().c_str());
        return 1;
    }
    sim::Interleaver out(output, output.OriginalFd());
    const int status = sim::RunScript(script, out);
    for (const std::string* lost : {&output.Lost(), &out.Failed()})
        if (!lost->empty()) {
            std::fprintf(stderr, "pendant-sim: %s\n", lost->c_str());
            return 1;
        }
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

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"pendant-sim: the pendant test tool, driving a virtual pendant.\n"
                 "On a terminal: the pendant's display, keys for its wheel and axis selector.\n"
                 "Otherwise: a fixed wheel sequence in plain lines, then it ends.",
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
    app.add_flag("--demo", demo, "Play the fixed wheel sequence in plain lines, then end")
        ->excludes(scriptOption);
    app.add_flag("--commands", commands, "List the script language's commands");

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
        std::fputs(sim::CommandSummary(sim::Dialect::Sim).c_str(), stdout);
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
