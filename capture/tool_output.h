// Catches what the tool prints on standard output, the one way every
// program and test here does: pendant-sim puts its own lines between the
// tool's (script mode) or shows the tool's in a pane of its screen
// (interactive mode); the tests and the fuzz targets look at what the tool
// printed. The text goes to an unlinked temporary file rather than a pipe:
// the tool never blocks on a full pipe, however much it prints between two
// looks.
#pragma once

#include <cstdio>
#include <string>

namespace capture {

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
    int writer_ = -1;
#ifdef _WIN32
    std::FILE* file_ = nullptr; // the temporary file, read back through writer_
#else
    int reader_ = -1;
#endif
};

} // namespace capture
