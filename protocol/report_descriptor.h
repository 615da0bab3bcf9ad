// HID report descriptors, both ways: the host reads the size of the largest
// input report a pendant declares; a pendant (virtual or gadget) declares the
// report it sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace protocol {

// The bytes of the largest input report the descriptor declares, with its
// report id byte where the descriptor uses report ids; 0 when it declares no
// input report or cannot be read (a truncated item, a Pop without a Push).
// Reports longer than `cap` count as `cap`.
std::size_t LargestInputReport(const std::uint8_t* descriptor, std::size_t length, std::size_t cap);

// A pendant's descriptor: input report 4 of inputReportBytes bytes (1 to 64:
// the id and inputReportBytes - 1 data bytes) and feature report 6 of seven
// data bytes, under a vendor usage page that keeps the host's HID input
// layer from taking the pendant for a keyboard.
std::vector<std::uint8_t> PendantReportDescriptor(std::size_t inputReportBytes);

} // namespace protocol
