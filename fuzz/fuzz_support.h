// Shared by the fuzz targets: their checks, and standard output sent to
// /dev/null (the survey report and trace lines are formatted as usual, but
// a run of millions of inputs must not fill a terminal or a log).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "capture/tool_output.h"

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

// Standard output into an unlinked temporary file (capture::ToolOutput), so
// that a target can look at what one input made the tool print.
inline capture::ToolOutput& CaughtStdout() {
    static capture::ToolOutput output;
    return output;
}
inline void CaptureStdout() {
    Check(CaughtStdout().Problem().empty(), "cannot send standard output to a temporary file");
}

// Empties the captured output.
inline void ForgetStdout() {
    CaughtStdout().Take();
}

// What was printed since ForgetStdout.
inline std::string CapturedStdout() {
    capture::ToolOutput& output = CaughtStdout();
    std::string text = output.Take();
    Check(output.Lost().empty(), "the captured output lost some of what was printed");
    return text;
}

} // namespace fuzz

// Every target defines both; the replay driver calls them as libFuzzer does.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size);
