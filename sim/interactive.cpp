#include "sim/interactive.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <curses.h>
#include <sstream>
#include <unistd.h>

#include "app/entry.h"
#include "backends/virtual/virtual_pendant.h"
#include "pendant/pendant_device.h"
#include "sim/keys.h"
#include "sim/paint.h"
#include "sim/screen.h"
#include "sim/script.h"
#include "sim/script_runner.h"
#include "sim/tool_output.h"

namespace sim {

namespace {

namespace vp = virtual_pendant;

class Session {
  public:
    explicit Session(ToolOutput& output) : output_(output) {
        vp::OnFrame([this](const vp::ReceivedFrame& frame) {
            ++screen_.frames;
            screen_.haveFrame = true;
            screen_.display = frame.display;
            screen_.frame = frame.bytes;
            screen_.problem = frame.problem;
        });
        screen_.message =
            "Select an axis (1, 2, 3), turn the wheel (+/-); \":set1 1 2.5\" sets a value.";
    }
    ~Session() { vp::OnFrame({}); }

    // Before every turn of the tool's loop.
    bool Turn(PendantDevice& device) {
        if (!started_) {
            started_ = true;
            // A fresh record is not dirty; store a value anew so the tool
            // sends its first frame and the display lights up.
            device.SetDisplayWord(0, device.DisplayWord[0]);
        }
        screen_.AddOutput(output_.Take());
        for (int ch = getch(); ch != ERR; ch = getch())
            if (!Key(ch, device))
                return false;
        screen_.queued = vp::PendingInput();
        Draw();
        return true;
    }

    bool Started() const { return started_; }

  private:
    bool Key(int ch, PendantDevice& device) {
        KeyResult key = HandleKey(ch, screen_, Dialect::Sim);
        switch (key.what) {
        case KeyDo::Quit:
            return false;
        case KeyDo::Redraw:
            clearok(curscr, TRUE);
            break;
        case KeyDo::Wheel:
            Wheel(key.counts);
            break;
        case KeyDo::Unplug:
            Unplug();
            break;
        case KeyDo::Replug:
            Replug();
            break;
        case KeyDo::Command:
            ApplyStep(key.step, device);
            screen_.message = "Done: " + key.text;
            break;
        case KeyDo::Nothing:
            break;
        }
        return true;
    }

    void Wheel(int counts) {
        if (screen_.link != Link::Plugged) {
            screen_.message = "The pendant is not connected to the tool: the counts go nowhere.";
            return;
        }
        vp::QueueReport(WheelBytes(screen_.axis, counts));
        screen_.message = WheelMessage(counts, screen_.axis);
    }

    void Unplug() {
        if (screen_.link == Link::Unplugged)
            return;
        vp::Unplug();
        screen_.link = Link::Unplugged;
        screen_.haveFrame = false;
        screen_.message = "Unplugged: the tool's reads and transfers fail from now on.";
    }

    void Replug() {
        if (screen_.link != Link::Unplugged)
            return;
        vp::Replug();
        screen_.link = Link::Replugged;
        screen_.message =
            "Replugged. The tool does not reopen it: restart pendant-sim to reconnect.";
    }

    void Draw() { Paint(Render(screen_, COLS, LINES)); }

    ToolOutput& output_;
    Screen screen_;
    bool started_ = false;
};

} // namespace

int RunInteractive() {
    ToolOutput output;
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
    TakeKeys();

    vp::Reset();
    // An afternoon at the keyboard must not keep every call it made.
    vp::KeepHistory(false);
    vp::SetRealTime(true);
    int status = 0;
    bool started = false;
    {
        Session session(output);
        std::istringstream noInput;
        status =
            RunTool(noInput, [&session](PendantDevice& device) { return session.Turn(device); });
        started = session.Started();
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
