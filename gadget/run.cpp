// pendant-gadget's run, from the gadget built to the gadget taken down;
// main reads the options.
#include "gadget/run.h"

#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include "gadget/interactive.h"
#include "gadget/log.h"
#include "gadget/player.h"
#include "gadget/port.h"

namespace gadget {

namespace {

volatile std::sig_atomic_t caught = 0;

} // namespace

void CatchEndingSignals() {
    std::signal(SIGPIPE, SIG_IGN); // a closed log is an error to report, not an end
    sigset_t ending;
    sigemptyset(&ending);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&ending, s);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    StopFd();
    std::thread([ending] {
        int signal = 0;
        if (sigwait(&ending, &signal) == 0) {
            caught = signal;
            RequestStop();
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

namespace {

// One step of a script; false when the script stops there.
bool Step(const play::Step& step, const std::string& where, const play::PendantPort& port,
          PendantFunction& function, int& status) {
    const std::string problem = RunStep(step, port, function);
    if (problem.empty())
        return true;
    if (!StopRequested()) {
        std::fprintf(stderr, "pendant-gadget: %s:%d: %s\n", where.c_str(), step.line,
                     problem.c_str());
        status = Failed;
    }
    return false;
}

// Lines from standard input, each run as it comes, so that a program (or a
// person) can drive the gadget line by line.
int RunStream(const play::PendantPort& port, PendantFunction& function) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {StopFd(), POLLIN, 0}};
    std::string pending;
    int lineNo = 0;
    int status = 0;
    bool open = true;
    while (!StopRequested()) {
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
        play::Step step;
        bool has = false;
        const std::string problem =
            play::ParseLine(line, ++lineNo, step, has, play::Dialect::Gadget);
        if (!problem.empty()) {
            std::fprintf(stderr, "pendant-gadget: <stdin>:%d: %s\n", lineNo, problem.c_str());
            return BadInput;
        }
        if (has && !Step(step, "<stdin>", port, function, status))
            break;
    }
    return status;
}

} // namespace

int Run(const GadgetOptions& options, const Layout& layout, bool unplugged,
        const play::Script* script, const std::string& scriptName, bool interactive) {
    ConfigfsGadget usb;
    PendantFunction function;
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
    Log("READY");
    if (!unplugged && !(problem = Plug(usb)).empty())
        return fail(problem);

    const play::PendantPort port = GadgetPort(usb, function);
    int status = 0;
    if (script != nullptr) {
        for (const play::Step& step : script->steps)
            if (!Step(step, scriptName, port, function, status))
                break;
    } else if (interactive && (status = RunInteractive(usb, function)) < 0) {
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

} // namespace gadget
