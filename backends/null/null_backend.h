// The null backend: every platform function of the stand-in header with a
// body that does next to nothing, so that a benchmark linked with it measures
// the core's own work. It behaves as one present pendant with one interrupt
// IN pipe 0x81; reads time out unless a canned report is set.
#pragma once

#include <cstddef>
#include <cstdint>

namespace null_backend {

// From now on every read delivers these bytes (at most 8, the pendant's
// report size; a shorter report reads as zeros beyond its end). nullptr
// makes every read time out again, as it does at start.
void SetReport(const std::uint8_t* report, std::size_t length);

// Unplugged: every read fails at once with ERROR_DEVICE_NOT_CONNECTED, as
// for a pendant pulled out, and discovery finds nothing. Off at start.
void SetUnplugged(bool on);

// Counters, one add each, so that a benchmark can prove it measured the
// turn it claims to (six transfers for a dirty display, one read per turn,
// discoveries while unplugged).
struct Counts {
    std::uint64_t controlTransfers;
    std::uint64_t reads;
    std::uint64_t discoveries;
};
Counts Calls();
void ResetCalls();

} // namespace null_backend
