#include "protocol/hex.h"

namespace protocol {

std::string HexBytes(std::span<const std::uint8_t> bytes, std::size_t group, HexCase letters) {
    const char* digits = letters == HexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += (group != 0 && i % group == 0) ? " | " : " ";
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

} // namespace protocol
