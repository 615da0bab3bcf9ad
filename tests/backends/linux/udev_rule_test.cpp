#include "backends/linux/udev_rule.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

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

// The one line of the rule that udev acts on.
std::string RuleLine(const std::string& rule) {
    std::istringstream in(rule);
    std::string line, found;
    int count = 0;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#') {
            found = line;
            ++count;
        }
    EXPECT_EQ(count, 1) << rule;
    return found;
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

TEST(UdevRule, GrantsTheSeatUserAndNeverTheWorld) {
    const std::string line = RuleLine(UdevRule(ShippedRuleTemplate(), {0xfff0, 0x0001}));
    EXPECT_NE(line.find("TAG+=\"uaccess\""), std::string::npos);
    // No MODE at all keeps the distribution's default (0664, root-owned);
    // the seat user gets an ACL through the tag.
    EXPECT_EQ(line.find("MODE"), std::string::npos) << line;
    EXPECT_EQ(line.find("OWNER"), std::string::npos) << line;
    EXPECT_EQ(line.find("GROUP"), std::string::npos) << line;
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
