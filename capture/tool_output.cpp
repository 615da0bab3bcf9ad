#include "capture/tool_output.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#ifdef _WIN32
#include <io.h> // the descriptor calls, under their Windows names
#else
#include <unistd.h>
#endif

namespace capture {

#ifdef _WIN32

// Windows has no unlinked files: the C library's temporary file, deleted
// when closed. Standard output is a second handle to it, sharing its file
// position, so one handle reads it back and empties it.
ToolOutput::ToolOutput() {
    std::fflush(stdout);
    file_ = std::tmpfile();
    if (file_ == nullptr) {
        problem_ = std::string("cannot make a file for the tool's output: ") + std::strerror(errno);
        return;
    }
    writer_ = _fileno(file_);
    original_ = _dup(1);
    if (original_ < 0 || _dup2(writer_, 1) < 0) {
        problem_ = std::string("cannot catch the tool's output: ") + std::strerror(errno);
        if (original_ >= 0)
            _close(original_);
        original_ = -1;
    }
}

ToolOutput::~ToolOutput() {
    std::fflush(stdout);
    if (original_ >= 0) {
        _dup2(original_, 1);
        _close(original_);
    }
    if (file_ != nullptr)
        std::fclose(file_);
}

std::string ToolOutput::Take() {
    if (std::fflush(stdout) == EOF || std::ferror(stdout)) {
        if (lost_.empty())
            lost_ = std::string("cannot keep the tool's output in a temporary file: ") +
                    std::strerror(errno);
        std::clearerr(stdout);
    }
    std::string text;
    if (file_ == nullptr)
        return text;
    _lseek(writer_, 0, SEEK_SET);
    char buffer[4096];
    for (int n = _read(writer_, buffer, sizeof buffer); n > 0;
         n = _read(writer_, buffer, sizeof buffer))
        text.append(buffer, static_cast<std::size_t>(n));
    // Caught up: start the file afresh; the tool's next write lands at 0.
    _chsize(writer_, 0);
    _lseek(writer_, 0, SEEK_SET);
    return text;
}

#else

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

#endif

} // namespace capture
