// What the gadget pendant tells FunctionFS and the host about itself: its
// descriptors, strings and HID report descriptor, and the names of the
// FunctionFS events it logs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gadget {

// The HID report descriptor the pendant answers GET_DESCRIPTOR with.
extern const std::uint8_t ReportDescriptor[];
extern const std::size_t ReportDescriptorBytes;

// FunctionFS's descriptors blob (full and high speed) and strings blob.
std::vector<std::uint8_t> Descriptors();
std::vector<std::uint8_t> Strings();

// Writes all of v in one write; false otherwise.
bool WriteAll(int fd, const std::vector<std::uint8_t>& v);

const char* EventName(unsigned type);

} // namespace gadget
