// The udev rule that binds a pendant for pendant-test: built from the
// installed template for one vendor:product id.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace linux_backend {

struct UsbId {
    std::uint16_t Vendor;
    std::uint16_t Product;
};

// "1234:abcd": two hexadecimal numbers of one to four digits (an optional
// 0x prefix on each), separated by a colon.
std::optional<UsbId> ParseUsbId(std::string_view text);

// The template with @VID@ and @PID@ filled in (four lower-case hexadecimal
// digits each, as the kernel spells them in sysfs).
std::string UdevRule(const std::string& ruleTemplate, UsbId id);

// The template as shipped (share/pendant-test/70-pendant-test.rules.in).
const std::string& ShippedRuleTemplate();

// File name the rule is installed under in /etc/udev/rules.d.
inline constexpr char RuleFileName[] = "70-pendant-test.rules";

} // namespace linux_backend
