// pendant-gadget: the pendant itself, on any Linux machine with a USB device
// controller. It builds a configfs gadget with one FunctionFS function, plugs
// it in, answers the host's display reports (decoding every frame) and sends
// input reports: from the keys on a terminal (pendant-sim's keys and screen),
// or from a script of pendant-sim's language (docs/gadget.md). On its way out,
// by the end of the script, q, or SIGINT, SIGTERM or SIGHUP, it takes the
// gadget down again.
#include <CLI/CLI.hpp>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include "gadget/configfs.h"
#include "gadget/function.h"
#include "gadget/interactive.h"
#include "gadget/log.h"
#include "gadget/player.h"
#include "gadget/port.h"
#include "pendant_version.h"
#include "sim/commands.h"
#include "sim/script.h"

namespace {

constexpr int Failed = 1;
constexpr int BadInput = 2;

volatile std::sig_atomic_t caught = 0;

// SIGINT, SIGTERM and SIGHUP are taken by one thread, which asks every wait
// to end; the gadget is taken down before the program ends by the signal.
void CatchEndingSignals() {
    std::signal(SIGPIPE, SIG_IGN); // a closed log is an error to report, not an end
    sigset_t ending;
    sigemptyset(&ending);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&ending, s);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    gadget::StopFd();
    std::thread([ending] {
        int signal = 0;
        if (sigwait(&ending, &signal) == 0) {
            caught = signal;
            gadget::RequestStop();
        }
    }).detach();
}

void EndBySignal() {
    if (caught == 0)
        return;
    std::signal(caught, SIG_DFL);
    sigset_t just;
    sigemptyset(&just);
    sigaddset(&just, caught);
    pthread_sigmask(SIG_UNBLOCK, &just, nullptr);
    raise(caught);
}

// One step of a script; false when the script stops there.
bool Step(const sim::Step& step, const std::string& where, const sim::PendantPort& port,
          gadget::PendantFunction& function, int& status) {
    const std::string problem = gadget::RunStep(step, port, function);
    if (problem.empty())
        return true;
    if (!gadget::StopRequested()) {
        std::fprintf(stderr, "pendant-gadget: %s:%d: %s\n", where.c_str(), step.line,
                     problem.c_str());
        status = Failed;
    }
    return false;
}

// Lines from standard input, each run as it comes, so that a program (or a
// person) can drive the gadget line by line.
int RunStream(const sim::PendantPort& port, gadget::PendantFunction& function) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {gadget::StopFd(), POLLIN, 0}};
    std::string pending;
    int lineNo = 0;
    int status = 0;
    bool open = true;
    while (!gadget::StopRequested()) {
        const std::size_t eol = pending.find('\n');
        if (eol == std::string::npos && open) {
            if (poll(fds, 2, -1) < 0 && errno != EINTR)
                return Failed;
            if (fds[1].revents != 0)
                break;
            if (fds[0].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                open = false;
            else
                pending.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (eol == std::string::npos && pending.empty())
            break; // the end of input: the end of the script
        const std::string line = pending.substr(0, eol);
        pending.erase(0, eol == std::string::npos ? pending.size() : eol + 1);
        sim::Step step;
        bool has = false;
        const std::string problem = sim::ParseLine(line, ++lineNo, step, has, sim::Dialect::Gadget);
        if (!problem.empty()) {
            std::fprintf(stderr, "pendant-gadget: <stdin>:%d: %s\n", lineNo, problem.c_str());
            return BadInput;
        }
        if (has && !Step(step, "<stdin>", port, function, status))
            break;
    }
    return status;
}

int Run(const gadget::GadgetOptions& options, const gadget::Layout& layout, bool unplugged,
        const sim::Script* script, const std::string& scriptName, bool interactive) {
    gadget::ConfigfsGadget usb;
    gadget::PendantFunction function;
    const auto fail = [&](const std::string& problem) {
        std::fprintf(stderr, "pendant-gadget: %s\n", problem.c_str());
        function.Stop();
        const std::string left = usb.Remove();
        if (!left.empty())
            std::fprintf(stderr, "pendant-gadget: %s\n", left.c_str());
        return Failed;
    };
    std::string problem = usb.Create(options);
    if (!problem.empty())
        return fail(problem);
    problem = function.Open(usb.FunctionFsDir(), layout);
    if (!problem.empty())
        return fail(problem);
    function.Start();
    gadget::Log("READY");
    if (!unplugged && !(problem = gadget::Plug(usb)).empty())
        return fail(problem);

    const sim::PendantPort port = gadget::GadgetPort(usb, function);
    int status = 0;
    if (script != nullptr) {
        for (const sim::Step& step : script->steps)
            if (!Step(step, scriptName, port, function, status))
                break;
    } else if (interactive && (status = gadget::RunInteractive(usb, function)) < 0) {
        std::fprintf(stderr, "pendant-gadget: cannot draw on this terminal; reading commands "
                             "from standard input instead\n");
        status = RunStream(port, function);
    } else if (!interactive) {
        status = RunStream(port, function);
    }

    usb.Unbind();
    function.Stop();
    problem = usb.Remove();
    if (!problem.empty()) {
        std::fprintf(stderr, "pendant-gadget: taking the gadget down: %s\n", problem.c_str());
        status = Failed;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"pendant-gadget: the pendant, as a USB gadget of this machine.\n"
                 "On a terminal: its display as the host sends it, keys for its wheel and "
                 "axis selector.\nOtherwise: commands of the script language from standard "
                 "input, one a line.",
                 "pendant-gadget"};
    gadget::GadgetOptions options;
    gadget::Layout layout;
    std::string scriptName, logName, extra, extraClass = "vendor";
    bool unplugged = false, stamp = false, commands = false;
    app.add_option("--vid", options.vid,
                   "USB vendor id (default 0x1209, with --pid 0x0001 an "
                   "id reserved for testing)")
        ->check(CLI::Range(0, 0xFFFF));
    app.add_option("--pid", options.pid, "USB product id")->check(CLI::Range(0, 0xFFFF));
    app.add_option("--name", options.name, "Name of the gadget in configfs (default pendant)")
        ->check([](const std::string& n) {
            return n.empty() || n.find_first_of("/. ") != std::string::npos
                       ? std::string("a name without /, . or blanks")
                       : std::string();
        });
    app.add_option("--udc", options.udc, "USB device controller (default: the first)");
    app.add_option("--packet-size", layout.packetSize,
                   "Packet size of the interrupt IN endpoint (default 8)")
        ->check(CLI::Range(1, 64));
    auto* extraOption = app.add_option("--extra-interface", extra,
                                       "A second interface, before or after the "
                                       "pendant's")
                            ->check(CLI::IsMember({"before", "after"}));
    app.add_option("--extra-class", extraClass, "Its class: vendor (default) or hid")
        ->check(CLI::IsMember({"vendor", "hid"}))
        ->needs(extraOption);
    app.add_flag("--unplugged", unplugged, "Start unplugged (replug plugs it in)");
    auto* scriptOption = app.add_option("--script", scriptName,
                                        "Run a script (a file, or - for standard input, one "
                                        "line at a time); then end")
                             ->type_name("FILE|-");
    app.add_option("--log", logName,
                   "Write the log to FILE (default: standard output; none on "
                   "the terminal screen)");
    app.add_flag("--stamp", stamp, "Start every log line with [microseconds]");
    app.add_flag("--commands", commands, "List the script commands")->excludes(scriptOption);
    app.set_version_flag("--version", std::string("pendant-gadget ") + PendantVersion,
                         "Print the version and exit");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : BadInput;
    }
    if (commands) {
        std::fputs(sim::CommandSummary(sim::Dialect::Gadget).c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : Failed;
    }
    layout.extra = extra.empty()       ? gadget::Extra::None
                   : extra == "before" ? gadget::Extra::Before
                                       : gadget::Extra::After;
    layout.extraHid = extraClass == "hid";

    // A script file is read whole before the gadget is built, so that a bad
    // line costs nothing.
    sim::Script script;
    const bool fromFile = !scriptName.empty() && scriptName != "-";
    std::string problem;
    if (fromFile && !sim::LoadScript(scriptName, sim::Dialect::Gadget, script, problem)) {
        std::fprintf(stderr, "pendant-gadget: %s\n", problem.c_str());
        return BadInput;
    }
    const bool interactive =
        scriptName.empty() && isatty(STDIN_FILENO) != 0 && isatty(STDOUT_FILENO) != 0;
    std::FILE* log = interactive ? nullptr : stdout;
    if (!logName.empty() && (log = std::fopen(logName.c_str(), "w")) == nullptr) {
        std::fprintf(stderr, "pendant-gadget: cannot write the log %s: %s\n", logName.c_str(),
                     std::strerror(errno));
        return BadInput;
    }
    gadget::SetLogFile(log);
    gadget::SetStamp(stamp);

    CatchEndingSignals();
    int status =
        Run(options, layout, unplugged, fromFile ? &script : nullptr, scriptName, interactive);
    const std::string lost = gadget::LogProblem();
    if (!lost.empty()) {
        std::fprintf(stderr, "pendant-gadget: %s\n", lost.c_str());
        status = status == 0 ? Failed : status;
    }
    EndBySignal();
    return status;
}
