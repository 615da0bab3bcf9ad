#include "backends/linux/interface_guid.h"

#include <cstdio>

#include "protocol/hex.h"

namespace linux_backend {

namespace {

// Reads 2*bytes hexadecimal digits at text[pos], most significant first.
bool ReadHex(std::string_view text, std::size_t pos, int bytes, std::uint32_t& out) {
    out = 0;
    for (int i = 0; i < 2 * bytes; ++i) {
        const int d = protocol::HexDigit(text[pos + static_cast<std::size_t>(i)]);
        if (d < 0)
            return false;
        out = (out << 4) | static_cast<std::uint32_t>(d);
    }
    return true;
}

} // namespace

std::optional<GUID> ParseGuid(std::string_view text) {
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}')
            return std::nullopt;
        text = text.substr(1, 36);
    }
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' ||
        text[23] != '-')
        return std::nullopt;
    GUID g{};
    std::uint32_t v = 0;
    if (!ReadHex(text, 0, 4, v))
        return std::nullopt;
    g.Data1 = v;
    if (!ReadHex(text, 9, 2, v))
        return std::nullopt;
    g.Data2 = static_cast<std::uint16_t>(v);
    if (!ReadHex(text, 14, 2, v))
        return std::nullopt;
    g.Data3 = static_cast<std::uint16_t>(v);
    static const std::size_t Data4At[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, Data4At[i], 1, v))
            return std::nullopt;
        g.Data4[i] = static_cast<std::uint8_t>(v);
    }
    return g;
}

std::string FormatGuid(const GUID& g) {
    char b[39];
    std::snprintf(b, sizeof b, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return b;
}

bool PropertyListsGuid(std::string_view value, const GUID& guid) {
    constexpr std::string_view Separators = ",; \t";
    std::size_t pos = 0;
    while (pos < value.size()) {
        const std::size_t start = value.find_first_not_of(Separators, pos);
        if (start == std::string_view::npos)
            break;
        std::size_t end = value.find_first_of(Separators, start);
        if (end == std::string_view::npos)
            end = value.size();
        const auto parsed = ParseGuid(value.substr(start, end - start));
        if (parsed && *parsed == guid)
            return true;
        pos = end;
    }
    return false;
}

} // namespace linux_backend
