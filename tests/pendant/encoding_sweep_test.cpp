// The encoders against the encoding rule computed step by step with the C
// library's round(), over a sweep of float bit patterns and over values that
// sit at or next to a rounding tie. The encoders round inline for speed;
// this pins them to the rule wherever the encoding is defined.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "pendant/pendant_device.h"
#include "support/encoding_rule.h"

namespace {

using encoding_rule::Defined;

// The rule's words as the encoder's four bytes read little-endian.
std::uint32_t RuleFixed(float v) {
    const encoding_rule::Words w = encoding_rule::Fixed(v);
    return w.whole | static_cast<std::uint32_t>(w.fraction) << 16;
}

std::uint32_t Encoded(int (*encode)(float, std::uint8_t*), float v) {
    std::uint8_t out[4];
    encode(v, out);
    return static_cast<std::uint32_t>(out[0] | out[1] << 8 | out[2] << 16) |
           static_cast<std::uint32_t>(out[3]) << 24;
}

float FromBits(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Floats at and around the ties of both roundings: k + 0.5 ten-thousandths
// and k + 0.5 thousandths, for small and large k, with both signs.
std::vector<float> NearTies() {
    std::vector<float> values;
    for (double scale : {10000.0, 1000.0})
        for (double k : {0.0, 1.0, 4.0, 12.0, 1234.0, 20004.0, 123456.0, 9999999.0, 429496729.0}) {
            const auto tie = static_cast<float>((k + 0.5) / scale);
            float below = tie, above = tie;
            for (int step = 0; step < 4; ++step) {
                values.insert(values.end(), {below, above, -below, -above});
                below = std::nextafter(below, 0.0f);
                above = std::nextafter(above, INFINITY);
            }
        }
    return values;
}

} // namespace

TEST(EncodingSweep, EncodeFixedFollowsTheRule) {
    std::vector<float> values = NearTies();
    for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 4093)
        values.push_back(FromBits(static_cast<std::uint32_t>(bits)));
    int checked = 0;
    for (float v : values) {
        if (!Defined(v))
            continue;
        ++checked;
        ASSERT_EQ(Encoded(EncodeFixed, v), RuleFixed(v)) << v;
    }
    EXPECT_GT(checked, 100000);
}

TEST(EncodingSweep, EncodeCoordinateFollowsTheRule) {
    std::vector<float> values = NearTies();
    for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 4093)
        values.push_back(FromBits(static_cast<std::uint32_t>(bits)));
    int checked = 0;
    for (float v : values) {
        const float rounded = encoding_rule::RoundedToThousandths(v);
        if (!Defined(rounded))
            continue;
        ++checked;
        ASSERT_EQ(Encoded(EncodeCoordinate, v), RuleFixed(rounded)) << v;
    }
    EXPECT_GT(checked, 100000);
}
