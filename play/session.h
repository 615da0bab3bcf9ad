// The interactive session of pendant-sim and pendant-gadget: the pendant's
// display as it last arrived, the keys (play/keys) as its axis selector and
// wheel, a pane below. It runs on the program's pendant port; each program
// says what its screen says and how its link keys go, and runs the typed
// commands of its dialect.
#pragma once

#include <functional>
#include <string>

#include "play/port.h"
#include "play/screen.h"

namespace play {

struct SessionWords {
    const char* nowhere;   // a wheel turn while the link is not Plugged
    const char* unplugged; // after u
    const char* replugged; // after r
    // Whether u and r only act when they change the link (the tool never
    // reopens a pendant, so replugging one already back does nothing).
    bool onlyWhenChanged;
    Link afterReplug;
};

class Session {
  public:
    // command runs a typed command of dialect: "" or why it failed.
    Session(const PendantPort& port, Screen& screen, Dialect dialect, SessionWords words,
            std::function<std::string(const Step&)> command);

    // Takes the pane's new text and every key waiting, shows the port's
    // last frame and queue, draws. False when the user quits.
    bool Turn(const std::string& paneText);

  private:
    bool Key(int ch);
    void Unplug();
    void Replug();

    const PendantPort& port_;
    Screen& screen_;
    Dialect dialect_;
    SessionWords words_;
    std::function<std::string(const Step&)> command_;
};

} // namespace play
