// What the gadget pendant tells FunctionFS and the host about itself: its
// interfaces and endpoints for the chosen layout, its strings and HID report
// descriptor, the requests it leaves unanswered, and the names of the
// FunctionFS events it logs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/wire.h"

namespace gadget {

// A second interface beside the pendant's, for composite devices.
enum class Extra { None, Before, After };

// A HID class request to the pendant's interface that it takes and never
// answers nor stalls, as a faulty pendant does: the host's control
// transfer runs into its time-out.
enum class Unanswered { None, SetIdle, GetReport };

struct Layout {
    unsigned packetSize = 8; // of the pendant's interrupt IN endpoint, 1 to 64
    Extra extra = Extra::None;
    bool extraHid = false; // the extra interface is a HID one, else vendor-specific
    // The input report as the report descriptor declares it, 1 to 64 bytes.
    std::size_t reportBytes = DefaultInputReportBytes;
    // Reports of any length go out as given, as from a malformed pendant
    // (each logged as such); else a report must be reportBytes long.
    bool raw = false;
    // A zero-length packet after every report that fills its last packet,
    // as the kernel's HID gadget function sends; else after those longer
    // than a packet.
    bool zeroLengthPacket = false;
    // The report descriptor's length as the pendant's HID descriptor
    // declares it, 0 to 65535, where a faulty pendant gets it wrong; -1:
    // its real length.
    int hidLength = -1;
    // bInterval of the pendant's IN endpoint at both speeds, 0 to 255; -1:
    // 1 ms at either (1 at full speed, 4 at high speed).
    int interval = -1;
    Unanswered unanswered = Unanswered::None;
};

// The pendant's interface number: 1 when the extra one comes before it.
unsigned PendantInterface(const Layout& layout);
// Whether the interface of that number is a HID one (gets the report
// descriptor on request).
bool IsHidInterface(const Layout& layout, unsigned number);
// The FunctionFS file of the pendant's IN endpoint ("ep1" or "ep2": they are
// numbered in the order of the descriptors).
std::string PendantEndpointFile(const Layout& layout);

// The HID report descriptor the pendant answers GET_DESCRIPTOR with: its
// input report of layout.reportBytes and the display's feature report.
std::vector<std::uint8_t> ReportDescriptor(const Layout& layout);

// Whether the request (setup: its eight bytes) is the one the layout leaves
// unanswered.
bool LeftUnanswered(const Layout& layout, const std::uint8_t* setup);

// FunctionFS's descriptors blob (full and high speed), with the eventfd
// FunctionFS is to signal each event on (-1: none), and strings blob.
std::vector<std::uint8_t> Descriptors(const Layout& layout, int eventFd = -1);
std::vector<std::uint8_t> Strings(const Layout& layout);

// Writes all of v in one write; false otherwise.
bool WriteAll(int fd, const std::vector<std::uint8_t>& v);

const char* EventName(unsigned type);

} // namespace gadget
