// The tool's own loop (RunTool) on the virtual pendant, with standard output
// whatever the caller made it: trace_pipe_test makes it a pipe. Three wheel
// reports are queued; before each turn after the first it waits for a line
// on standard input, so that the test can look at the pipe while the tool
// sits between two reads. End of input ends it. The wait reads the file
// descriptor itself: std::cin would flush standard output (cin is tied to
// cout, which shares stdout's buffer) and hide a missing flush.
#include <unistd.h>

#include <iostream>

#include "app/entry.h"
#include "backends/virtual/virtual_pendant.h"
#include "protocol/wire.h"

namespace vp = virtual_pendant;

int main() {
    vp::Reset();
    for (int axis = 1; axis <= 3; ++axis) {
        const auto report = WheelReport(axis, axis);
        vp::QueueReport({report.begin(), report.end()});
    }
    bool first = true;
    return RunTool(std::cin, [&first](PendantDevice&) {
        if (first) {
            first = false;
            return true;
        }
        char c = 0;
        return read(STDIN_FILENO, &c, 1) == 1;
    });
}
