#include "play/parse.h"

#include <charconv>

#include "protocol/hex.h"

namespace play {

namespace {

bool Separator(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '|' || c == ';';
}

std::string Token(std::string_view token, std::vector<std::uint8_t>& out) {
    const bool prefixed =
        token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X');
    const std::string_view digits = prefixed ? token.substr(2) : token;
    for (char c : digits)
        if (protocol::HexDigit(c) < 0)
            return "\"" + std::string(token) + "\" is not a hex byte";
    if (prefixed) {
        if (digits.size() > 2)
            return "\"" + std::string(token) + "\" is more than one byte";
        std::uint8_t value = 0;
        for (char c : digits)
            value = static_cast<std::uint8_t>(value * 16 + protocol::HexDigit(c));
        out.push_back(value);
        return "";
    }
    // One digit is a byte as the tool's trace lines print it ("4 0 0 12").
    if (digits.size() == 1) {
        out.push_back(static_cast<std::uint8_t>(protocol::HexDigit(digits[0])));
        return "";
    }
    if (digits.size() % 2 != 0)
        return "\"" + std::string(token) + "\" has an odd number of hex digits";
    for (std::size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(protocol::HexDigit(digits[i]) * 16 +
                                                protocol::HexDigit(digits[i + 1])));
    return "";
}

} // namespace

std::vector<std::string_view> Tokens(std::string_view text, bool (*separator)(char)) {
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        if (separator(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !separator(text[end]))
            ++end;
        tokens.push_back(text.substr(i, end - i));
        i = end;
    }
    return tokens;
}

std::string ParseHexBytes(std::string_view text, std::vector<std::uint8_t>& out) {
    for (std::string_view token : Tokens(text, Separator)) {
        const std::string problem = Token(token, out);
        if (!problem.empty())
            return problem;
    }
    return "";
}

bool ParseFloat(std::string_view text, float& value) {
    if (!text.empty() && text[0] == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseUnsigned(std::string_view text, unsigned long long max, unsigned long long& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    unsigned long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (ec != std::errc() || end != text.data() + text.size() || v > max)
        return false;
    value = v;
    return true;
}

bool ParseSigned(std::string_view text, long long min, long long max, long long& value) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    unsigned long long magnitude = 0;
    if (!ParseUnsigned(text, 1ULL << 62, magnitude))
        return false;
    const long long v =
        negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    if (v < min || v > max)
        return false;
    value = v;
    return true;
}

int ParseDisplayValues(const std::vector<std::string>& ten, protocol::DisplayValues& values) {
    for (int k = 0; k < 6; ++k) {
        float& slot = k < 3 ? values.CoordSet1[k] : values.CoordSet2[k - 3];
        if (!ParseFloat(ten[static_cast<std::size_t>(k)], slot))
            return k;
    }
    for (int j = 0; j < 4; ++j) {
        unsigned long long word = 0;
        if (!ParseUnsigned(ten[static_cast<std::size_t>(6 + j)], 0xFFFF, word))
            return 6 + j;
        values.DisplayWord[j] = static_cast<std::uint16_t>(word);
    }
    return -1;
}

} // namespace play
