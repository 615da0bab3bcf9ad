// pendant-sim's output: the tool's, caught by capture::ToolOutput, and the
// simulator's own lines, written in the order they happened.
#pragma once

#include <string>

#include "capture/tool_output.h"

namespace sim {

// Writes the tool's output and the simulator's own lines to one file
// descriptor in the order they happened, starting each of the simulator's
// lines on a line of its own even when the tool left one open.
class Interleaver {
  public:
    Interleaver(capture::ToolOutput& tool, int fd) : tool_(tool), fd_(fd) {}
    // Passes on what the tool printed so far.
    void Pass();
    // Passes on the tool's output, then writes text as whole lines.
    void Line(const std::string& text);
    // "" while every write went through, else why one did not (nothing
    // more is written after it).
    const std::string& Failed() const { return failed_; }

  private:
    void Write(const std::string& text);
    capture::ToolOutput& tool_;
    int fd_;
    bool atLineStart_ = true;
    std::string failed_;
};

} // namespace sim
