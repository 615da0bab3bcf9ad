// A person at the check played by a program (the tests, pendant-sim's
// scripts): the lines it types wait until the check takes them, and it is
// told before every turn what the check waits for, so that it can answer or
// turn the pendant's controls.
#pragma once

#include <deque>
#include <functional>
#include <string>

#include "check/check.h"

class ScriptedPerson {
  public:
    using Act = std::function<void(PendantDevice& device, CheckPrompt prompt)>;

    void Type(std::string line) { lines_.push_back(std::move(line)); }
    // The person as the check sees it, acting through act; it uses this
    // object, which must outlive the check.
    CheckPerson Person(Act act);

  private:
    std::deque<std::string> lines_;
};
