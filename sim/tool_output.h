// Catches what the tool prints on standard output, so that the simulator can
// put its own lines between the tool's (script mode) or show the tool's in a
// pane of its screen (interactive mode). The text goes to an unlinked
// temporary file rather than a pipe: the tool never blocks on a full pipe,
// however much it prints between two looks.
#pragma once

#include <string>

namespace sim {

class ToolOutput {
  public:
    ToolOutput();
    ~ToolOutput();
    ToolOutput(const ToolOutput&) = delete;
    ToolOutput& operator=(const ToolOutput&) = delete;

    // "" when standard output is caught, else why not.
    const std::string& Problem() const { return problem_; }
    // Flushes the tool's stdout and returns what it printed since the last
    // call.
    std::string Take();
    // The terminal or file standard output was before.
    int OriginalFd() const { return original_; }
    // "" while all the tool printed was kept, else what went wrong (its
    // temporary file could not take it: a full disk, a file size limit).
    const std::string& Lost() const { return lost_; }

  private:
    std::string problem_;
    std::string lost_;
    int original_ = -1;
    int reader_ = -1;
    int writer_ = -1;
};

// Writes the tool's output and the simulator's own lines to one file
// descriptor in the order they happened, starting each of the simulator's
// lines on a line of its own even when the tool left one open.
class Interleaver {
  public:
    Interleaver(ToolOutput& tool, int fd) : tool_(tool), fd_(fd) {}
    // Passes on what the tool printed so far.
    void Pass();
    // Passes on the tool's output, then writes text as whole lines.
    void Line(const std::string& text);
    // "" while every write went through, else why one did not (nothing
    // more is written after it).
    const std::string& Failed() const { return failed_; }

  private:
    void Write(const std::string& text);
    ToolOutput& tool_;
    int fd_;
    bool atLineStart_ = true;
    std::string failed_;
};

} // namespace sim
