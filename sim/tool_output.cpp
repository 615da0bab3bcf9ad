#include "sim/tool_output.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace sim {

ToolOutput::ToolOutput() {
    std::fflush(stdout);
    const char* dir = std::getenv("TMPDIR");
    std::string name =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/pendant-sim-output-XXXXXX";
    writer_ = mkostemp(name.data(), O_APPEND | O_CLOEXEC);
    if (writer_ < 0) {
        problem_ =
            "cannot make a file for the tool's output in " + name + ": " + std::strerror(errno);
        return;
    }
    reader_ = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    unlink(name.c_str());
    original_ = dup(STDOUT_FILENO);
    if (reader_ < 0 || original_ < 0 || dup2(writer_, STDOUT_FILENO) < 0) {
        problem_ = std::string("cannot catch the tool's output: ") + std::strerror(errno);
        if (original_ >= 0)
            close(original_);
        original_ = -1;
    }
}

ToolOutput::~ToolOutput() {
    std::fflush(stdout);
    if (original_ >= 0) {
        dup2(original_, STDOUT_FILENO);
        close(original_);
    }
    if (reader_ >= 0)
        close(reader_);
    if (writer_ >= 0)
        close(writer_);
}

std::string ToolOutput::Take() {
    if (std::fflush(stdout) == EOF || std::ferror(stdout)) {
        if (lost_.empty())
            lost_ = std::string("cannot keep the tool's output in a temporary file: ") +
                    std::strerror(errno);
        std::clearerr(stdout);
    }
    std::string text;
    if (reader_ < 0)
        return text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(reader_, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    // Caught up: start the file afresh so a long session does not grow it.
    // The writer appends, so its next write lands at the new end.
    if (ftruncate(writer_, 0) == 0)
        lseek(reader_, 0, SEEK_SET);
    return text;
}

void Interleaver::Write(const std::string& text) {
    if (!failed_.empty())
        return;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failed_ = std::string("cannot write the output: ") +
                      (n < 0 ? std::strerror(errno) : "nothing was written");
            return;
        }
        done += static_cast<std::size_t>(n);
    }
    if (!text.empty())
        atLineStart_ = text.back() == '\n';
}

void Interleaver::Pass() {
    Write(tool_.Take());
}

void Interleaver::Line(const std::string& text) {
    Pass();
    Write((atLineStart_ ? "" : "\n") + text + "\n");
}

} // namespace sim
