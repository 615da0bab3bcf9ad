#include "backends/linux/udev_rule.h"

#include <cstdio>

namespace linux_backend {

namespace {

std::optional<std::uint16_t> ParseHex16(std::string_view s) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        s.remove_prefix(2);
    if (s.empty() || s.size() > 4)
        return std::nullopt;
    unsigned v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v * 16 + static_cast<unsigned>(d);
    }
    return static_cast<std::uint16_t>(v);
}

void ReplaceAll(std::string& s, std::string_view from, const std::string& to) {
    for (std::size_t pos = s.find(from); pos != std::string::npos;
         pos = s.find(from, pos + to.size()))
        s.replace(pos, from.size(), to);
}

} // namespace

std::optional<UsbId> ParseUsbId(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const auto vid = ParseHex16(text.substr(0, colon));
    const auto pid = ParseHex16(text.substr(colon + 1));
    if (!vid || !pid)
        return std::nullopt;
    return UsbId{*vid, *pid};
}

std::string UdevRule(const std::string& ruleTemplate, UsbId id) {
    char vid[5], pid[5];
    std::snprintf(vid, sizeof vid, "%04x", id.Vendor);
    std::snprintf(pid, sizeof pid, "%04x", id.Product);
    std::string rule = ruleTemplate;
    ReplaceAll(rule, "@VID@", vid);
    ReplaceAll(rule, "@PID@", pid);
    return rule;
}

} // namespace linux_backend
