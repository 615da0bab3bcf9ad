// The judges of what hosts require: tables of descriptors, each with the
// finding it must draw (or none).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/host_rules.h"
#include "protocol/report_descriptor.h"
#include "support/bar_table.h"

using namespace protocol;

namespace {

std::string Contains(const std::string& finding, const std::string& words) {
    return finding.find(words) == std::string::npos ? "\"" + finding + "\" lacks \"" + words + "\""
                                                    : "";
}

// The table the kernel's HID core judges in the VM too.
TEST(HostRules, ReportDescriptorsAreJudgedAsTheTableSays) {
    const auto rows = bar_table::Read(PENDANT_HOST_RULES_DESCRIPTORS, 3);
    ASSERT_GE(rows.size(), 15u) << PENDANT_HOST_RULES_DESCRIPTORS << " is missing or short";
    for (const auto& row : rows) {
        const std::string& want = row.fields[0];
        const std::string& kernel = row.fields[1];
        const std::string fault = ReportDescriptorFault(row.bytes.data(), row.bytes.size());
        if (want == "pass") {
            EXPECT_EQ(fault, "") << row.fields[2];
            EXPECT_EQ(kernel, "accepts") << row.fields[2];
            continue;
        }
        EXPECT_EQ(Contains(fault, want), "") << row.fields[2];
        // What the finding says of Linux is what the kernel column says.
        EXPECT_EQ(Contains(fault, kernel == "refuses" ? "Linux's HID core refuses"
                                                      : "the HID class requires"),
                  "")
            << row.fields[2];
        EXPECT_TRUE(kernel == "refuses" || kernel == "-") << row.fields[2];
    }
}

TEST(HostRules, DeviceDescriptorFieldsInTheirRanges) {
    const std::uint8_t good[18] = {18,   1, 0x00, 0x02, 0,    0, 0, 64, 0xF0,
                                   0xFF, 1, 0,    0x00, 0x01, 0, 0, 0,  1};
    const struct {
        int at;
        std::uint8_t value;
        std::size_t n;
        UsbSpeed speed;
        const char* finding; // "" for none
    } cases[] = {{-1, 0, 18, UsbSpeed::Full, ""},
                 {-1, 0, 18, UsbSpeed::High, ""},
                 {-1, 0, 17, UsbSpeed::Full, "gave 17 of its 18 bytes"},
                 {0, 9, 18, UsbSpeed::Full, "bLength is 9"},
                 {1, 2, 18, UsbSpeed::Full, "bDescriptorType is 2"},
                 {7, 8, 18, UsbSpeed::Full, ""},
                 {7, 7, 18, UsbSpeed::Full, "bMaxPacketSize0 is 7"},
                 {7, 128, 18, UsbSpeed::Unknown, "bMaxPacketSize0 is 128"},
                 {7, 32, 18, UsbSpeed::High, "bMaxPacketSize0 is 32 at high speed"},
                 {17, 0, 18, UsbSpeed::Full, "bNumConfigurations is 0"}};
    for (const auto& c : cases) {
        std::uint8_t d[18];
        std::copy(good, good + 18, d);
        if (c.at >= 0)
            d[c.at] = c.value;
        const std::string fault = DeviceDescriptorFault(d, c.n, c.speed);
        if (*c.finding == '\0')
            EXPECT_EQ(fault, "") << c.at << "=" << int(c.value);
        else
            EXPECT_EQ(Contains(fault, c.finding), "");
    }
}

// A configuration of one HID interface (report descriptor of 31 bytes) and
// its interrupt IN endpoint 0x81.
std::vector<std::uint8_t> Configuration(std::uint8_t attributes, std::uint16_t maxPacket,
                                        std::uint8_t interval) {
    return {9,
            2,
            34,
            0,
            1,
            1,
            0,
            0x80,
            50, // configuration
            9,
            4,
            0,
            0,
            1,
            3,
            0,
            0,
            0, // interface 0
            9,
            0x21,
            0x11,
            0x01,
            0,
            1,
            0x22,
            31,
            0, // HID, report descriptor
            7,
            5,
            0x81,
            attributes,
            static_cast<std::uint8_t>(maxPacket),
            static_cast<std::uint8_t>(maxPacket >> 8),
            interval}; // endpoint
}

TEST(HostRules, InterruptInPacketAndIntervalWithinTheSpeedsLimits) {
    const struct {
        std::uint8_t attributes;
        std::uint16_t maxPacket;
        std::uint8_t interval;
        UsbSpeed speed;
        const char* finding;
    } cases[] = {{3, 8, 10, UsbSpeed::Full, ""},
                 {3, 64, 255, UsbSpeed::Low, ""},
                 {3, 65, 10, UsbSpeed::Full, "wMaxPacketSize 0x0041 at full speed"},
                 {3, 0, 10, UsbSpeed::Full, "wMaxPacketSize 0x0000"},
                 {3, 0x0808, 10, UsbSpeed::Full, "wMaxPacketSize 0x0808 at full speed"},
                 {3, 8, 0, UsbSpeed::Full, "bInterval 0 at full speed"},
                 {3, 512, 4, UsbSpeed::High, ""},
                 {3, 0x1808, 4, UsbSpeed::High, "wMaxPacketSize 0x1808 at high speed"},
                 {3, 8, 17, UsbSpeed::High, "bInterval 17 at high speed"},
                 {2, 8, 10, UsbSpeed::Full, "not an interrupt endpoint"}};
    for (const auto& c : cases) {
        const auto config = Configuration(c.attributes, c.maxPacket, c.interval);
        const InterfaceFacts facts = ReadInterfaceFacts(config.data(), config.size(), 0, 0x81);
        ASSERT_EQ(facts.fault, "");
        const std::string fault = InterruptInFault(facts, c.speed);
        if (*c.finding == '\0')
            EXPECT_EQ(fault, "") << c.maxPacket << "/" << int(c.interval);
        else
            EXPECT_EQ(Contains(fault, c.finding), "");
    }
}

TEST(HostRules, TheConfigurationIsReadForTheInterfaceAndItsEndpoint) {
    auto config = Configuration(3, 8, 10);
    InterfaceFacts f = ReadInterfaceFacts(config.data(), config.size(), 0, 0x81);
    EXPECT_TRUE(f.interfaceFound && f.hidDescriptor && f.reportDescriptorListed);
    EXPECT_EQ(f.reportDescriptorBytes, 31);
    EXPECT_TRUE(f.inEndpointFound);
    EXPECT_EQ(f.inInterval, 10);
    // Another interface and another endpoint are not this one's.
    f = ReadInterfaceFacts(config.data(), config.size(), 1, 0x81);
    EXPECT_FALSE(f.interfaceFound || f.hidDescriptor || f.inEndpointFound);
    f = ReadInterfaceFacts(config.data(), config.size(), 0, 0x82);
    EXPECT_FALSE(f.inEndpointFound);
    EXPECT_EQ(Contains(InterruptInFault(f, UsbSpeed::Full), "lists no such IN endpoint"), "");
    // Lengths that do not add up.
    EXPECT_EQ(Contains(ReadInterfaceFacts(config.data(), 30, 0, 0x81).fault, "wTotalLength is 34"),
              "");
    config[18] = 0;
    EXPECT_EQ(Contains(ReadInterfaceFacts(config.data(), config.size(), 0, 0x81).fault,
                       "at byte 18 has bLength 0"),
              "");
    EXPECT_NE(ReadInterfaceFacts(config.data(), 4, 0, 0x81).fault, "");
}

TEST(HostRules, ThePendantsReportsDeclared) {
    const struct {
        std::vector<std::uint8_t> descriptor;
        const char* finding;
    } cases[] = {
        {PendantReportDescriptor(8), ""},
        {PendantReportDescriptor(64), ""},
        {PendantReportDescriptor(5), "input report 4 of 5 bytes (at least 6)"},
        {{0x75, 0x08, 0x95, 0x08, 0x81, 0x02}, "no report ids"},
        {{0x85, 0x04, 0x75, 0x08, 0x95, 0x07, 0x81, 0x02}, "no feature report 6"},
        {{0x85, 0x05, 0x75, 0x08, 0x95, 0x07, 0x81, 0x02, 0x85, 0x06, 0xB1, 0x02},
         "no input report 4"},
        {{0x85, 0x04, 0x75, 0x08, 0x95, 0x07, 0x81, 0x02, 0x85, 0x06, 0x95, 0x08, 0xB1, 0x02},
         "feature report 6 of 9 bytes"},
    };
    for (const auto& c : cases) {
        const ReportLayout layout = DescribeReports(c.descriptor.data(), c.descriptor.size());
        const std::string fault = PendantReportsFault(layout);
        if (*c.finding == '\0')
            EXPECT_EQ(fault, "");
        else
            EXPECT_EQ(Contains(fault, c.finding), "");
    }
}

TEST(HostRules, ReportsOfAnotherLengthThanDeclaredNameBothAndTheDrivers) {
    const auto d = PendantReportDescriptor(8);
    const ReportLayout layout = DescribeReports(d.data(), d.size());
    const std::uint8_t report[8] = {0x04};
    const std::uint8_t unknown[8] = {0x05};
    EXPECT_EQ(DeclaredInputBytes(layout, report, 6), 8u);
    EXPECT_EQ(DeclaredInputBytes(layout, unknown, 8), 0u);
    EXPECT_EQ(DeclaredInputBytes(layout, report, 0), 0u);
    EXPECT_EQ(ReportsAsSentFault(20, 0, 8, 8), "");
    EXPECT_EQ(ReportsAsSentFault(20, 20, 6, 8),
              "20 of 20 reports were 6 bytes where the descriptor declares 8: Linux's hidraw and "
              "Windows' HID driver drop such reports");
    EXPECT_EQ(Contains(ReportsAsSentFault(3, 1, 8, 0), "does not declare"), "");
}

} // namespace
