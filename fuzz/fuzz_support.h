// Shared by the fuzz targets: their checks, and standard output sent to
// /dev/null (the survey report and trace lines are formatted as usual, but
// a run of millions of inputs must not fill a terminal or a log).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace fuzz {

// A broken promise is a crash for the fuzzer to report and minimise.
inline void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

inline void QuietStdout() {
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        Check(false, "cannot send standard output to /dev/null");
}

// Standard output into an unlinked temporary file, so that a target can
// look at what one input made the tool print.
inline void CaptureStdout() {
    char name[] = "/tmp/pendant-fuzz-XXXXXX";
    const int fd = mkstemp(name);
    Check(fd >= 0 && std::freopen(name, "w+", stdout) != nullptr,
          "cannot send standard output to a temporary file");
    close(fd);
    unlink(name);
}

// Empties the captured output.
inline void ForgetStdout() {
    std::fflush(stdout);
    Check(ftruncate(fileno(stdout), 0) == 0, "cannot empty the captured output");
    std::rewind(stdout);
}

// What was printed since ForgetStdout.
inline std::string CapturedStdout() {
    std::fflush(stdout);
    std::string text;
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t n = pread(fileno(stdout), buffer, sizeof buffer, at);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
    return text;
}

} // namespace fuzz

// Every target defines both; the replay driver calls them as libFuzzer does.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size);
