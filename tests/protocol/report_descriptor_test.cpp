// The largest input report a HID report descriptor declares, as the tool
// reads it to size its reads; and the pendant's own descriptor.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "protocol/report_descriptor.h"

using protocol::LargestInputReport;
using protocol::PendantReportDescriptor;

namespace {

std::size_t Largest(const std::vector<std::uint8_t>& d, std::size_t cap = 64) {
    return LargestInputReport(d.data(), d.size(), cap);
}

} // namespace

TEST(ReportDescriptor, LargestInputReportOfEachShape) {
    struct {
        const char* what;
        std::vector<std::uint8_t> descriptor;
        std::size_t bytes;
    } cases[] = {
        // The kernel HID gadget's pendant: input 4 and feature 6, 7 bytes each.
        {"input 4 of 7 and feature 6 of 7",
         {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x04, 0x09, 0x02,
          0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x07, 0x81, 0x02,
          0x85, 0x06, 0x09, 0x03, 0x95, 0x07, 0xB1, 0x02, 0xC0},
         8},
        {"no report ids: no id byte", {0x75, 0x08, 0x95, 0x06, 0x81, 0x02}, 6},
        {"two input reports: the larger, with its id",
         {0x85, 0x01, 0x75, 0x08, 0x95, 0x03, 0x81, 0x02, 0x85, 0x02, 0x95, 0x0A, 0x81, 0x02},
         11},
        {"fields of one report add up, bits rounded up to bytes",
         {0x75, 0x01, 0x95, 0x03, 0x81, 0x02, 0x75, 0x05, 0x95, 0x01, 0x81, 0x03, 0x75, 0x08, 0x95,
          0x01, 0x81, 0x02},
         2},
        {"outputs and features are not read",
         {0x85, 0x06, 0x75, 0x08, 0x95, 0x07, 0xB1, 0x02, 0x91, 0x02},
         0},
        {"push keeps the globals a pop gives back",
         {0x75, 0x08, 0x95, 0x07, 0xA4, 0x95, 0x02, 0xB4, 0x81, 0x02},
         7},
        {"a 4-byte count", {0x75, 0x08, 0x97, 0x05, 0x00, 0x00, 0x00, 0x81, 0x02}, 5},
        {"a long item is skipped",
         {0xFE, 0x02, 0x10, 0xAA, 0xBB, 0x75, 0x08, 0x95, 0x04, 0x81, 0x02},
         4},
        {"larger than a read: the cap", {0x75, 0x08, 0x96, 0x00, 0x01, 0x81, 0x02}, 64},
        {"a report id alone (no data field)", {0x85, 0x04, 0x75, 0x08, 0x95, 0x00, 0x81, 0x02}, 1},
        // Malformed: nothing can be trusted, so nothing is declared.
        {"a pop without a push", {0x75, 0x08, 0x95, 0x07, 0xB4, 0x81, 0x02}, 0},
        {"an item cut short", {0x75, 0x08, 0x95, 0x07, 0x81, 0x02, 0x96, 0x01}, 0},
        {"a long item cut short", {0x75, 0x08, 0x95, 0x07, 0x81, 0x02, 0xFE, 0x05, 0x10, 0x00}, 0},
        {"empty", {}, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Largest(c.descriptor), c.bytes) << c.what;
    EXPECT_EQ(Largest(cases[0].descriptor, 6), 6u) << "a smaller cap";
}

TEST(ReportDescriptor, PendantsDeclareTheReportTheySend) {
    for (std::size_t bytes = 1; bytes <= 64; ++bytes)
        EXPECT_EQ(Largest(PendantReportDescriptor(bytes)), bytes) << bytes << "-byte reports";
    // The feature report the display frame is cut into: id 6, seven bytes.
    const std::vector<std::uint8_t> d = PendantReportDescriptor(8);
    const std::vector<std::uint8_t> feature = {0x85, 0x06, 0x09, 0x03, 0x95, 0x07, 0xB1, 0x02};
    EXPECT_NE(std::search(d.begin(), d.end(), feature.begin(), feature.end()), d.end());
}
