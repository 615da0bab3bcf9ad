#include "backends/linux/udev_rule.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "backends/linux/interface_guid.h"

namespace {

using linux_backend::ParseUsbId;
using linux_backend::ShippedRuleTemplate;
using linux_backend::UdevRule;

TEST(UdevRule, ParsesUsbIds) {
    struct Case {
        const char* text;
        bool ok;
        std::uint16_t vid, pid;
    };
    const Case cases[] = {
        {"fff0:0001", true, 0xfff0, 0x0001},
        {"FFF0:ABCD", true, 0xfff0, 0xabcd},
        {"1:2", true, 0x0001, 0x0002},
        {"0x1234:0X5678", true, 0x1234, 0x5678},
        {"", false, 0, 0},
        {"fff0", false, 0, 0},
        {"fff0:", false, 0, 0},
        {":0001", false, 0, 0},
        {"10000:0001", false, 0, 0},
        {"fff0:0001:2", false, 0, 0},
        {"fffg:0001", false, 0, 0},
        {"-1:0001", false, 0, 0},
        {"0x:0001", false, 0, 0},
        {" fff0:0001", false, 0, 0},
    };
    for (const auto& c : cases) {
        const auto id = ParseUsbId(c.text);
        ASSERT_EQ(id.has_value(), c.ok) << '"' << c.text << '"';
        if (c.ok) {
            EXPECT_EQ(id->Vendor, c.vid) << c.text;
            EXPECT_EQ(id->Product, c.pid) << c.text;
        }
    }
}

// The lines of the rule that udev acts on.
std::vector<std::string> ActiveLines(const std::string& rule) {
    std::istringstream in(rule);
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    return lines;
}

// The one line of the rule for devices of the subsystem: the USB device
// ("usb") or its hidraw node ("hidraw").
std::string RuleLine(const std::string& rule, const std::string& subsystem = "usb") {
    const std::string match = "SUBSYSTEM==\"" + subsystem + "\"";
    std::string found;
    int count = 0;
    for (const std::string& line : ActiveLines(rule))
        if (line.rfind(match, 0) == 0) {
            found = line;
            ++count;
        }
    EXPECT_EQ(count, 1) << rule;
    return found;
}

TEST(UdevRule, HasALineForTheDeviceAndOneForItsHidrawNode) {
    const std::vector<std::string> lines =
        ActiveLines(UdevRule(ShippedRuleTemplate(), {0xfff0, 0x0001}));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("SUBSYSTEM==\"usb\"", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("SUBSYSTEM==\"hidraw\"", 0), 0u) << lines[1];
}

TEST(UdevRule, MatchesTheDeviceBySysfsSpelledIds) {
    const std::string line = RuleLine(UdevRule(ShippedRuleTemplate(), {0xABC, 0x1}));
    EXPECT_NE(line.find("SUBSYSTEM==\"usb\""), std::string::npos);
    EXPECT_NE(line.find("ENV{DEVTYPE}==\"usb_device\""), std::string::npos);
    // sysfs spells ids as four lower-case digits.
    EXPECT_NE(line.find("ATTR{idVendor}==\"0abc\""), std::string::npos) << line;
    EXPECT_NE(line.find("ATTR{idProduct}==\"0001\""), std::string::npos) << line;
    EXPECT_EQ(line.find('@'), std::string::npos) << "placeholder left: " << line;
}

TEST(UdevRule, CarriesTheInterfaceGuidDiscoveryLooksFor) {
    const std::string line = RuleLine(UdevRule(ShippedRuleTemplate(), {0xfff0, 0x0001}));
    const std::regex assign(std::string("ENV\\{") + linux_backend::InterfaceGuidsProperty +
                            "\\}=\"([^\"]*)\"");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(line, m, assign)) << line;
    const GUID pendant = {
        0x136917CC, 0x8699, 0x43EC, {0xB5, 0xA9, 0x89, 0x26, 0xD7, 0x16, 0x5D, 0xE7}};
    EXPECT_TRUE(linux_backend::PropertyListsGuid(m[1].str(), pendant)) << m[1];
}

// The hidraw node of a USB HID device sits below the device, whose ids a
// rule reaches through ATTRS; it is no WinUSB interface, so it carries no
// GUID.
TEST(UdevRule, MatchesTheHidrawNodeThroughItsUsbDevice) {
    const std::string line = RuleLine(UdevRule(ShippedRuleTemplate(), {0xABC, 0x1}), "hidraw");
    EXPECT_NE(line.find("ATTRS{idVendor}==\"0abc\""), std::string::npos) << line;
    EXPECT_NE(line.find("ATTRS{idProduct}==\"0001\""), std::string::npos) << line;
    EXPECT_EQ(line.find(linux_backend::InterfaceGuidsProperty), std::string::npos) << line;
    EXPECT_EQ(line.find('@'), std::string::npos) << "placeholder left: " << line;
}

TEST(UdevRule, GrantsTheSeatUserAndNeverTheWorld) {
    for (const char* subsystem : {"usb", "hidraw"}) {
        const std::string line =
            RuleLine(UdevRule(ShippedRuleTemplate(), {0xfff0, 0x0001}), subsystem);
        EXPECT_NE(line.find("TAG+=\"uaccess\""), std::string::npos) << line;
        // No MODE at all keeps the distribution's default (0664, root-owned
        // for usbfs; 0600 for hidraw); the seat user gets an ACL through the
        // tag.
        EXPECT_EQ(line.find("MODE"), std::string::npos) << line;
        EXPECT_EQ(line.find("OWNER"), std::string::npos) << line;
        EXPECT_EQ(line.find("GROUP"), std::string::npos) << line;
    }
}

TEST(UdevRule, OnlyThePlaceholdersChange) {
    const std::string tmpl = "a @VID@ b @PID@ c @VID@ @OTHER@";
    EXPECT_EQ(UdevRule(tmpl, {0x1234, 0xbeef}), "a 1234 b beef c 1234 @OTHER@");
}

TEST(UdevRule, FileNameSortsBeforeTheSeatRules) {
    // 73-seat-late.rules turns the uaccess tag into an ACL; a rule that
    // sorts after it would tag too late.
    EXPECT_LT(std::string(linux_backend::RuleFileName), std::string("73-seat-late.rules"));
}

} // namespace
