#include "gadget/interactive.h"

#include <curses.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "gadget/log.h"
#include "gadget/player.h"
#include "gadget/port.h"
#include "play/paint.h"
#include "play/session.h"

namespace gadget {

namespace {

// Log lines the pane leaves out: each frame's parts, shown in the box.
bool ForThePane(const std::string& line) {
    for (const char* word : {"SETUP ", "REPORT ", "FRAME ", "COORDS ", "DISPLAY "})
        if (line.rfind(word, 0) == 0)
            return false;
    return true;
}

constexpr play::SessionWords GadgetWords = {
    "The gadget is unplugged: the counts go nowhere.",
    "Unplugged: the host sees the pendant go.",
    "Plugged in: restart pendant-test on the host to reach it.",
    false,
    play::Link::Plugged,
};

// What the host did, from the log's thread, for the pane.
class Pane {
  public:
    Pane() {
        SetLogListener([this](const std::string& line) {
            if (!ForThePane(line))
                return;
            std::lock_guard<std::mutex> lock(mutex_);
            text_ += line + "\n";
        });
    }
    ~Pane() { SetLogListener({}); }
    std::string Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string text;
        text.swap(text_);
        return text;
    }

  private:
    std::mutex mutex_;
    std::string text_;
};

int Run(ConfigfsGadget& usb, PendantFunction& function) {
    const play::PendantPort port = GadgetPort(usb, function);
    play::Screen screen;
    screen.program = "pendant-gadget";
    screen.title = "the pendant on USB";
    screen.paneLabel = "host";
    screen.link = usb.Bound() ? play::Link::Plugged : play::Link::Unplugged;
    screen.message = "Select an axis (1, 2, 3), turn the wheel (+/-); the host reads the "
                     "reports.";
    Pane pane;
    play::Session session(port, screen, play::Dialect::Gadget, GadgetWords,
                          [&](const play::Step& step) { return RunStep(step, port, function); });
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {StopFd(), POLLIN, 0}};
    // Redrawn at least ten times a second, for what the host does.
    while (!StopRequested() && session.Turn(pane.Take()))
        if (poll(fds, 2, 100) > 0 && fds[1].revents != 0)
            break;
    return 0;
}

} // namespace

int RunInteractive(ConfigfsGadget& usb, PendantFunction& function) {
    SCREEN* screen = newterm(nullptr, stdout, stdin);
    if (screen == nullptr)
        return -1;
    set_term(screen);
    play::TakeKeys();
    const int status = Run(usb, function);
    endwin();
    delscreen(screen);
    return status;
}

} // namespace gadget
