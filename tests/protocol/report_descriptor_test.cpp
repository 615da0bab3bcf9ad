// The largest input report a HID report descriptor declares, as the tool
// reads it to size its reads; and the pendant's own descriptor.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "protocol/report_descriptor.h"
#include "protocol/wire.h"
#include "support/bar_table.h"

using protocol::LargestInputReport;
using protocol::PendantReportDescriptor;

namespace {

std::size_t Largest(const std::vector<std::uint8_t>& d, std::size_t cap = 64) {
    return LargestInputReport(d.data(), d.size(), cap);
}

struct DescriptorCase {
    std::string bytes; // a number, "none" or "malformed"
    std::string what;
    std::vector<std::uint8_t> descriptor;
};

// The table the dissector's test reads too (its format is at its top).
std::vector<DescriptorCase> ReadDescriptorTable() {
    std::vector<DescriptorCase> cases;
    for (bar_table::Row& row : bar_table::Read(PENDANT_REPORT_DESCRIPTORS, 2))
        cases.push_back({row.fields[0], row.fields[1], std::move(row.bytes)});
    return cases;
}

} // namespace

TEST(ReportDescriptor, LargestInputReportOfEachShape) {
    const std::vector<DescriptorCase> cases = ReadDescriptorTable();
    ASSERT_GE(cases.size(), 10u) << "the table " << PENDANT_REPORT_DESCRIPTORS
                                 << " is missing or short";
    for (const auto& c : cases) {
        // The tool keeps its old rule for both: nothing is declared.
        const std::size_t want =
            c.bytes == "none" || c.bytes == "malformed" ? 0 : std::stoul(c.bytes);
        EXPECT_EQ(Largest(c.descriptor), want) << c.what;
    }
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

TEST(ZeroLengthPacket, FollowsAReportThatFillsItsLastPacketAsTheRuleSays) {
    const struct {
        std::size_t report;
        unsigned packet;
        bool afterSpanning; // the default of both our pendants
        bool always;        // the kernel's HID gadget function
    } cases[] = {{6, 4, false, false},  {8, 4, true, true},    {8, 8, false, true},
                 {6, 8, false, false},  {16, 8, true, true},   {12, 8, false, false},
                 {4, 4, false, true},   {64, 1, true, true},   {0, 8, false, false},
                 {64, 64, false, true}, {14, 8, false, false}, {7, 0, false, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(
            ZeroLengthPacketFollows(::ZeroLengthPacket::AfterSpanningReports, c.report, c.packet),
            c.afterSpanning)
            << c.report << " bytes on " << c.packet << "-byte packets";
        EXPECT_EQ(ZeroLengthPacketFollows(::ZeroLengthPacket::Always, c.report, c.packet), c.always)
            << c.report << " bytes on " << c.packet << "-byte packets";
        EXPECT_FALSE(ZeroLengthPacketFollows(::ZeroLengthPacket::Never, c.report, c.packet));
    }
}
