// Shared by the fuzz targets: their checks, and standard output sent to
// /dev/null (the survey report and trace lines are formatted as usual, but
// a run of millions of inputs must not fill a terminal or a log).
#pragma once

#include <cstdio>
#include <cstdlib>

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

} // namespace fuzz

// Every target defines both; the replay driver calls them as libFuzzer does.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size);
