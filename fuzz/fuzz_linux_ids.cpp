// What the Linux backend reads from people and from udev, with any text: the
// udev rule command's USB id ("1234:abcd"), a GUID, and the udev property
// that lists a device's interface GUIDs. Each parser is held against the
// grammar written out a second way here, and what it formats reads back.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "backends/linux/interface_guid.h"
#include "backends/linux/udev_rule.h"
#include "fuzz/fuzz_support.h"
#include "usb/discovery.h"

namespace {

// One to four hex digits, optionally after 0x; the value, or -1.
long Hex16(std::string_view s) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        s.remove_prefix(2);
    if (s.empty() || s.size() > 4)
        return -1;
    long v = 0;
    for (char c : s) {
        const char* digits = "0123456789abcdef";
        const char* at = c == '\0' ? nullptr : std::strchr(digits, std::tolower(c));
        if (at == nullptr)
            return -1;
        v = v * 16 + (at - digits);
    }
    return v;
}

std::vector<std::string_view> Tokens(std::string_view value) {
    std::vector<std::string_view> tokens;
    std::size_t at = 0;
    while (at < value.size()) {
        const std::size_t end = value.find_first_of(",; \t", at);
        const std::size_t stop = end == std::string_view::npos ? value.size() : end;
        if (stop > at)
            tokens.push_back(value.substr(at, stop - at));
        at = stop + 1;
    }
    return tokens;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    using namespace linux_backend;

    // The USB id: exactly VENDOR:PRODUCT, each one to four hex digits.
    const std::size_t colon = text.find(':');
    const long vendor = colon == std::string_view::npos ? -1 : Hex16(text.substr(0, colon));
    const long product = colon == std::string_view::npos ? -1 : Hex16(text.substr(colon + 1));
    const auto id = ParseUsbId(text);
    fuzz::Check(id.has_value() == (vendor >= 0 && product >= 0),
                "the id parser takes another grammar");
    if (id) {
        fuzz::Check(id->Vendor == vendor && id->Product == product,
                    "the id reads as other numbers");
        char spelled[16];
        std::snprintf(spelled, sizeof spelled, "%04x:%04x", id->Vendor, id->Product);
        const auto again = ParseUsbId(spelled);
        fuzz::Check(again && again->Vendor == id->Vendor && again->Product == id->Product,
                    "the sysfs spelling of an id does not read back");
        const std::string rule = UdevRule(ShippedRuleTemplate(), *id);
        fuzz::Check(rule.find("\"" + std::string(spelled, 4) + "\"") != std::string::npos &&
                        rule.find("\"" + std::string(spelled + 5) + "\"") != std::string::npos,
                    "the rule does not name the id");
    }

    // GUIDs: what parses formats back to the same GUID; the property lists
    // a GUID exactly when one of its tokens parses to it.
    const auto guid = ParseGuid(text);
    if (guid) {
        const auto again = ParseGuid(FormatGuid(*guid));
        fuzz::Check(again && *again == *guid, "a formatted GUID does not read back");
    }
    GUID probe = PendantInterfaceGuid;
    for (const GUID& g : {probe, guid.value_or(probe)}) {
        bool listed = false;
        for (std::string_view token : Tokens(text)) {
            const auto parsed = ParseGuid(token);
            listed = listed || (parsed && *parsed == g);
        }
        fuzz::Check(PropertyListsGuid(text, g) == listed,
                    "the property lists another set of GUIDs");
    }
    return 0;
}
