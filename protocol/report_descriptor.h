// HID report descriptors, both ways: the host reads the size of the largest
// input report a pendant declares; a pendant (virtual or gadget) declares the
// report it sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace protocol {

// What a report descriptor declares, as a host's HID parser reads it: for
// each report type and id, the bits of its data; and the usage of the first
// top-level collection (what a host matches a device by).
enum class ReportType { Input = 0, Output = 1, Feature = 2 };
struct ReportLayout {
    bool ok = false;      // false: a truncated item, a Pop without a Push
    bool usesIds = false; // reports carry their id in a first byte
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint64_t bits[3][256] = {};
    bool declared[3][256] = {};

    // Bytes of report id of type on the wire, its id byte included where
    // ids are used; 0 when the descriptor does not declare it.
    std::size_t Bytes(ReportType type, std::uint8_t id) const;
    // The longest report of type, as Bytes counts it; 0 for none.
    std::size_t Longest(ReportType type) const;
};
ReportLayout DescribeReports(const std::uint8_t* descriptor, std::size_t length);

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
