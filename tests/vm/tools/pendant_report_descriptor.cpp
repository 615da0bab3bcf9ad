// Writes the HID report descriptor a pendant with input reports of N bytes
// declares (the one pendant-gadget and the virtual pendant answer with), as
// raw bytes on standard output: the guest gives it to the kernel's own HID
// gadget function, so that pendant and test share one source of it.
//   pendant-report-descriptor N
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "protocol/report_descriptor.h"
#include "protocol/wire.h"

int main(int argc, char** argv) {
    const long n = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
    if (n < 1 || n > static_cast<long>(InputReportBytes)) {
        std::fprintf(stderr, "usage: pendant-report-descriptor N (input report bytes, 1 to %zu)\n",
                     InputReportBytes);
        return 2;
    }
    const std::vector<std::uint8_t> d =
        protocol::PendantReportDescriptor(static_cast<std::size_t>(n));
    return write(STDOUT_FILENO, d.data(), d.size()) == static_cast<ssize_t>(d.size()) ? 0 : 1;
}
