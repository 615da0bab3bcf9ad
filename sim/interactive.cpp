#include "sim/interactive.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <curses.h>
#include <sstream>
#include <unistd.h>

#include "app/entry.h"
#include "backends/virtual/virtual_pendant.h"
#include "capture/tool_output.h"
#include "pendant/pendant_device.h"
#include "play/paint.h"
#include "play/session.h"
#include "sim/script_runner.h"
#include "sim/virtual_port.h"

namespace sim {

namespace {

namespace vp = virtual_pendant;

constexpr play::SessionWords SimWords = {
    "The pendant is not connected to the tool: the counts go nowhere.",
    "Unplugged: the tool's reads and transfers fail from now on.",
    "Replugged. The tool does not reopen it: restart pendant-sim to reconnect.",
    true,
    play::Link::Replugged,
};

} // namespace

int RunInteractive() {
    capture::ToolOutput output;
    if (!output.Problem().empty()) {
        std::fprintf(stderr, "pendant-sim: %s\n", output.Problem().c_str());
        return -1;
    }
    // The screen goes to the terminal itself; the tool's standard output
    // now goes to the pane.
    const int terminalFd = dup(output.OriginalFd());
    FILE* terminal = terminalFd >= 0 ? fdopen(terminalFd, "w") : nullptr;
    SCREEN* screen = terminal != nullptr ? newterm(nullptr, terminal, stdin) : nullptr;
    if (screen == nullptr) {
        if (terminal != nullptr)
            std::fclose(terminal);
        return -1;
    }
    set_term(screen);
    play::TakeKeys();

    vp::Reset();
    // An afternoon at the keyboard must not keep every call it made.
    vp::KeepHistory(false);
    vp::SetRealTime(true);
    int status = 0;
    bool started = false;
    {
        const play::PendantPort port = VirtualPendantPort();
        play::Screen shown;
        shown.message =
            "Select an axis (1, 2, 3), turn the wheel (+/-); \":set1 1 2.5\" sets a value.";
        PendantDevice* turning = nullptr;
        play::Session session(
            port, shown, play::Dialect::Sim, SimWords,
            [&](const play::Step& step) { return ApplyStep(step, *turning, port); });
        std::istringstream noInput;
        status = RunTool(noInput, [&](PendantDevice& device) {
            if (!started) {
                started = true;
                // A fresh record is not dirty; store a value anew so the
                // tool sends its first frame and the display lights up.
                device.SetDisplayWord(0, device.DisplayWord[0]);
            }
            turning = &device;
            return session.Turn(output.Take());
        });
    }
    vp::SetRealTime(false);
    endwin();
    delscreen(screen);
    std::fclose(terminal);

    // The tool could not open the pendant: show what it said, in plain lines.
    const std::string said = output.Take();
    if (!started && !said.empty() &&
        write(output.OriginalFd(), said.data(), said.size()) != static_cast<ssize_t>(said.size()))
        std::fprintf(stderr, "pendant-sim: cannot write the output: %s\n", std::strerror(errno));
    if (!output.Lost().empty()) {
        std::fprintf(stderr, "pendant-sim: %s\n", output.Lost().c_str());
        return status == 0 ? 1 : status;
    }
    return status;
}

} // namespace sim
