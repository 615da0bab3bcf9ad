#include "gadget/interactive.h"

#include <curses.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "gadget/log.h"
#include "gadget/player.h"
#include "sim/keys.h"
#include "sim/paint.h"
#include "sim/screen.h"

namespace gadget {

namespace {

// Log lines the pane leaves out: each frame's parts, shown in the box.
bool ForThePane(const std::string& line) {
    for (const char* word : {"SETUP ", "REPORT ", "FRAME ", "COORDS ", "DISPLAY "})
        if (line.rfind(word, 0) == 0)
            return false;
    return true;
}

class Session {
  public:
    Session(ConfigfsGadget& usb, PendantFunction& function) : usb_(usb), function_(function) {
        screen_.program = "pendant-gadget";
        screen_.title = "the pendant on USB";
        screen_.paneLabel = "host";
        screen_.link = usb.Bound() ? sim::Link::Plugged : sim::Link::Unplugged;
        screen_.message = "Select an axis (1, 2, 3), turn the wheel (+/-); the host reads the "
                          "reports.";
        SetLogListener([this](const std::string& line) {
            if (!ForThePane(line))
                return;
            std::lock_guard<std::mutex> lock(paneMutex_);
            pane_ += line + "\n";
        });
    }
    ~Session() { SetLogListener({}); }

    int Run() {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {StopFd(), POLLIN, 0}};
        while (!StopRequested()) {
            Refresh();
            Draw();
            // Redrawn at least ten times a second, for what the host does.
            if (poll(fds, 2, 100) > 0 && fds[1].revents != 0)
                break;
            for (int ch = getch(); ch != ERR; ch = getch())
                if (!Key(ch))
                    return 0;
        }
        return 0;
    }

  private:
    void Refresh() {
        {
            std::lock_guard<std::mutex> lock(paneMutex_);
            screen_.AddOutput(pane_);
            pane_.clear();
        }
        const LastFrame last = function_.Last();
        screen_.frames = static_cast<unsigned>(function_.Snapshot().frames);
        screen_.haveFrame = last.have;
        screen_.display = last.display;
        screen_.frame = last.bytes;
        screen_.problem = last.problem;
        screen_.queued = function_.Pending();
    }

    bool Key(int ch) {
        const sim::KeyResult key = sim::HandleKey(ch, screen_, sim::Dialect::Gadget);
        std::string problem;
        switch (key.what) {
        case sim::KeyDo::Quit:
            return false;
        case sim::KeyDo::Redraw:
            clearok(curscr, TRUE);
            break;
        case sim::KeyDo::Wheel:
            if (screen_.link != sim::Link::Plugged) {
                screen_.message = "The gadget is unplugged: the counts go nowhere.";
                break;
            }
            function_.Queue(sim::WheelBytes(screen_.axis, key.counts));
            screen_.message = sim::WheelMessage(key.counts, screen_.axis);
            break;
        case sim::KeyDo::Unplug:
            problem = Unplug(usb_);
            if (problem.empty())
                screen_.link = sim::Link::Unplugged;
            screen_.message =
                problem.empty() ? "Unplugged: the host sees the pendant go." : "Error: " + problem;
            break;
        case sim::KeyDo::Replug:
            problem = Plug(usb_);
            if (problem.empty())
                screen_.link = sim::Link::Plugged;
            screen_.message = problem.empty() ? "Plugged in: restart pendant-test on the host "
                                                "to reach it."
                                              : "Error: " + problem;
            break;
        case sim::KeyDo::Command:
            problem = RunStep(key.step, usb_, function_);
            screen_.message = problem.empty() ? "Done: " + key.text : "Error: " + problem;
            break;
        case sim::KeyDo::Nothing:
            break;
        }
        return true;
    }

    void Draw() { sim::Paint(sim::Render(screen_, COLS, LINES)); }

    ConfigfsGadget& usb_;
    PendantFunction& function_;
    sim::Screen screen_;
    std::mutex paneMutex_;
    std::string pane_;
};

} // namespace

int RunInteractive(ConfigfsGadget& usb, PendantFunction& function) {
    SCREEN* screen = newterm(nullptr, stdout, stdin);
    if (screen == nullptr)
        return -1;
    set_term(screen);
    sim::TakeKeys();
    int status = 0;
    {
        Session session(usb, function);
        status = session.Run();
    }
    endwin();
    delscreen(screen);
    return status;
}

} // namespace gadget
