// The display's number encoding computed step by step with the C library's
// round(): the reference the encoders are held to, by the sweep test and by
// the encoders' fuzz target. (The encoders round inline for speed.)
#pragma once

#include <cmath>
#include <cstdint>

namespace encoding_rule {

// Where the encoding is defined: finite, magnitude times 10000 below 2^32.
inline bool Defined(float v) {
    return std::isfinite(v) && std::fabs(static_cast<double>(v)) * 10000.0 < 4294967295.5;
}

struct Words {
    std::uint16_t whole;
    std::uint16_t fraction; // ten-thousandths, bit 15 the sign
};

// The fixed-point words of v, for v where the encoding is defined.
inline Words Fixed(float v) {
    const auto a =
        static_cast<std::uint32_t>(std::round(std::fabs(static_cast<double>(v)) * 10000.0));
    return {static_cast<std::uint16_t>((a / 10000) & 0xFFFF),
            static_cast<std::uint16_t>((a % 10000) | (v < 0.0f ? 0x8000u : 0u))};
}

// v rounded to three decimals, as a coordinate is before it is encoded.
inline float RoundedToThousandths(float f) {
    const float product = f * 1000.0f;
    return static_cast<float>(std::round(static_cast<double>(product)) / 1000.0);
}

} // namespace encoding_rule
