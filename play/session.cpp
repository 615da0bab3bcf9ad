#include "play/session.h"

#include <curses.h>

#include "play/keys.h"
#include "play/paint.h"

namespace play {

Session::Session(const PendantPort& port, Screen& screen, Dialect dialect, SessionWords words,
                 std::function<std::string(const Step&)> command)
    : port_(port), screen_(screen), dialect_(dialect), words_(words), command_(std::move(command)) {
}

bool Session::Turn(const std::string& paneText) {
    screen_.AddOutput(paneText);
    for (int ch = getch(); ch != ERR; ch = getch())
        if (!Key(ch))
            return false;
    const PortFrame last = port_.last();
    screen_.frames = static_cast<unsigned>(last.frames);
    screen_.haveFrame = last.have;
    if (last.have) {
        screen_.display = last.display;
        screen_.frame = last.bytes;
        screen_.problem = last.problem;
    }
    screen_.queued = port_.pending();
    Paint(Render(screen_, COLS, LINES));
    return true;
}

bool Session::Key(int ch) {
    const KeyResult key = HandleKey(ch, screen_, dialect_);
    switch (key.what) {
    case KeyDo::Quit:
        return false;
    case KeyDo::Redraw:
        clearok(curscr, TRUE);
        break;
    case KeyDo::Wheel:
        if (screen_.link != Link::Plugged) {
            screen_.message = words_.nowhere;
            break;
        }
        {
            // As the jog step: the wheel's report at the pendant's report size.
            Step jog;
            jog.op = Op::Jog;
            jog.bytes = WheelBytes(screen_.axis, key.counts);
            RunPortStep(jog, port_);
            screen_.message = WheelMessage(key.counts, screen_.axis);
        }
        break;
    case KeyDo::Unplug:
        Unplug();
        break;
    case KeyDo::Replug:
        Replug();
        break;
    case KeyDo::Command: {
        const std::string problem = command_(key.step);
        screen_.message = problem.empty() ? "Done: " + key.text : "Error: " + problem;
        break;
    }
    case KeyDo::Nothing:
        break;
    }
    return true;
}

void Session::Unplug() {
    if (words_.onlyWhenChanged && screen_.link == Link::Unplugged)
        return;
    const std::string problem = port_.unplug();
    if (problem.empty())
        screen_.link = Link::Unplugged;
    screen_.message = problem.empty() ? words_.unplugged : "Error: " + problem;
}

void Session::Replug() {
    if (words_.onlyWhenChanged && screen_.link != Link::Unplugged)
        return;
    const std::string problem = port_.replug();
    if (problem.empty())
        screen_.link = words_.afterReplug;
    screen_.message = problem.empty() ? words_.replugged : "Error: " + problem;
}

} // namespace play
