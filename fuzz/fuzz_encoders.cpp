// The coordinate encoders with any 32-bit pattern as a float. Input: 4 bytes
// (the value), optionally followed by 5 more values' worth of bytes and 8
// bytes of display words for a whole frame. Where the encoding is defined
// (finite, magnitude times 10000 below 2^32) the result must equal the rule
// computed step by step; everywhere, the fraction stays below 10000, the sign
// bit follows the rule, and UBSan watches every float-to-integer conversion.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "pendant/pendant_device.h"
#include "protocol/display.h"
#include "tests/support/encoding_rule.h"

namespace {

float FloatAt(const unsigned char* p) {
    float f;
    std::memcpy(&f, p, sizeof f);
    return f;
}

std::uint16_t Word(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

using encoding_rule::Defined;

void CheckEncoding(const std::uint8_t* out, float signOf, const char* what) {
    fuzz::Check((Word(out + 2) & 0x7FFF) < 10000, what);
    fuzz::Check(((Word(out + 2) & 0x8000) != 0) == (signOf < 0.0f), what);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size < 4)
        return 0;
    const float value = FloatAt(data);
    std::uint8_t out[4];

    fuzz::Check(EncodeFixed(value, out) == 4, "EncodeFixed did not return 4");
    CheckEncoding(out, value, "EncodeFixed: fraction or sign bit");
    if (Defined(value)) {
        const encoding_rule::Words rule = encoding_rule::Fixed(value);
        fuzz::Check(Word(out) == rule.whole && Word(out + 2) == rule.fraction,
                    "EncodeFixed differs from the rule");
    }

    fuzz::Check(EncodeCoordinate(value, out) == 4, "EncodeCoordinate did not return 4");
    // The sign is that of the value rounded to three decimals.
    const float rounded = encoding_rule::RoundedToThousandths(value);
    CheckEncoding(out, rounded, "EncodeCoordinate: fraction or sign bit");
    if (Defined(rounded)) {
        const encoding_rule::Words rule = encoding_rule::Fixed(rounded);
        fuzz::Check(Word(out) == rule.whole && Word(out + 2) == rule.fraction,
                    "EncodeCoordinate differs from the rule");
    }

    // A whole frame from as many values as the input holds.
    PendantDevice device;
    float coords[6];
    for (int k = 0; k < 6; ++k)
        coords[k] = size >= 4 * static_cast<std::size_t>(k + 1) ? FloatAt(data + 4 * k) : value;
    protocol::DisplayValues values;
    for (int k = 0; k < 3; ++k) {
        values.CoordSet1[k] = coords[k];
        values.CoordSet2[k] = coords[3 + k];
    }
    if (size >= 32)
        for (int j = 0; j < 4; ++j)
            values.DisplayWord[j] = Word(data + 24 + 2 * j);
    device.SetDisplay(values);
    DisplayFrame frame;
    device.BuildDisplayFrame(frame);
    protocol::DecodedDisplay shown;
    fuzz::Check(protocol::DecodeDisplayFrame(frame, shown).empty(), "malformed display frame");
    for (int j = 0; j < 4; ++j)
        fuzz::Check(shown.DisplayWord[j] == device.DisplayWord[j], "display word not carried");
    for (int k = 0; k < 6; ++k) {
        EncodeCoordinate(coords[k], out);
        const double expected = protocol::DecodeFixed(out);
        const double got = k < 3 ? shown.CoordSet1[k] : shown.CoordSet2[k - 3];
        fuzz::Check(std::memcmp(&expected, &got, sizeof got) == 0,
                    "coordinate not where it belongs");
    }
    return 0;
}
