#include "sim/interleaver.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace sim {

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
