// Bytes as hex text, the one way every program and test writes them:
// "06 FE FD 0F", two digits a byte and a blank between; with group,
// " | " after every group bytes (one display report per group of 8).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace protocol {

// Upper case, as captures and pendant-sim show bytes; lower case, as
// pendant-gadget's log has always written them.
enum class HexCase { Upper, Lower };

std::string HexBytes(std::span<const std::uint8_t> bytes, std::size_t group = 0,
                     HexCase letters = HexCase::Upper);

// The value of one hexadecimal digit, either case; -1 for any other
// character. For the readers of hex text (scripts, GUIDs).
constexpr int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace protocol
