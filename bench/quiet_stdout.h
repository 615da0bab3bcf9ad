// Standard output that can be switched off for the core alone. The bench
// programs define printf and fflush themselves (the executable's definitions
// take the place of the C library's for every caller, the core included);
// while muted, both return at once, so a turn with a jog report can be
// measured without the cost of its trace line. Unmuted, they forward to the
// C library and behave as usual.
#pragma once

namespace bench {

// Calls nest: output returns after as many unmutes as mutes.
void MuteStdout(bool muted);

// RAII: mute for a scope.
class Muted {
  public:
    Muted() { MuteStdout(true); }
    ~Muted() { MuteStdout(false); }
    Muted(const Muted&) = delete;
    Muted& operator=(const Muted&) = delete;
};

} // namespace bench
