// Hex bytes as captures write them (protocol/hex.h writes them back), and
// the numbers of the script language.
#include <gtest/gtest.h>

#include <cmath>

#include "play/parse.h"

namespace {

struct HexCase {
    const char* text;
    std::vector<std::uint8_t> bytes;
};

TEST(ParseHexBytes, ReadsTheFormsCapturesUse) {
    const std::vector<std::uint8_t> start = {0x06, 0xFE, 0xFD, 0x0F};
    const HexCase cases[] = {
        {"06 FE fd 0F", start},
        {"06FEFD0F", start},
        {"0x06,0xfe;0XFD | 0xf", start},
        {"06 FE\n\tFD|0F\r\n", start},
        {"", {}},
        {" | \n", {}},
        {"4 0 0 12 2 0 ", {0x04, 0x00, 0x00, 0x12, 0x02, 0x00}},
    };
    for (const HexCase& c : cases) {
        std::vector<std::uint8_t> bytes;
        EXPECT_EQ(play::ParseHexBytes(c.text, bytes), "") << c.text;
        EXPECT_EQ(bytes, c.bytes) << c.text;
    }
}

TEST(ParseHexBytes, SaysWhatIsWrong) {
    const std::pair<const char*, const char*> cases[] = {
        {"06 0G", "\"0G\" is not a hex byte"},
        {"06 ABC", "\"ABC\" has an odd number of hex digits"},
        {"0x123", "\"0x123\" is more than one byte"},
        {"0x", "\"0x\" is not a hex byte"},
        {"-1", "\"-1\" is not a hex byte"},
    };
    for (const auto& [text, problem] : cases) {
        std::vector<std::uint8_t> bytes;
        EXPECT_EQ(play::ParseHexBytes(text, bytes), problem) << text;
    }
}

TEST(ParseNumbers, TakeWholeTokensOnly) {
    float f = 0;
    EXPECT_TRUE(play::ParseFloat("-2.25", f));
    EXPECT_EQ(f, -2.25f);
    EXPECT_TRUE(play::ParseFloat("+1e3", f));
    EXPECT_EQ(f, 1000.0f);
    EXPECT_TRUE(play::ParseFloat("-0", f));
    EXPECT_TRUE(std::signbit(f));
    EXPECT_TRUE(play::ParseFloat("nan", f));
    EXPECT_TRUE(std::isnan(f));
    EXPECT_TRUE(play::ParseFloat("inf", f));
    for (const char* bad : {"", "+", "1.5x", "1,5", " 1", "1e39", "--1"})
        EXPECT_FALSE(play::ParseFloat(bad, f)) << bad;

    unsigned long long u = 0;
    EXPECT_TRUE(play::ParseUnsigned("65535", 0xFFFF, u));
    EXPECT_EQ(u, 65535U);
    EXPECT_TRUE(play::ParseUnsigned("0x1F", 0xFFFF, u));
    EXPECT_EQ(u, 31U);
    for (const char* bad : {"65536", "-1", "+1", "0x", "", "12a", "99999999999999999999"})
        EXPECT_FALSE(play::ParseUnsigned(bad, 0xFFFF, u)) << bad;

    long long s = 0;
    EXPECT_TRUE(play::ParseSigned("-128", -128, 127, s));
    EXPECT_EQ(s, -128);
    EXPECT_TRUE(play::ParseSigned("+127", -128, 127, s));
    EXPECT_EQ(s, 127);
    for (const char* bad : {"-129", "128", "--1", "-", ""})
        EXPECT_FALSE(play::ParseSigned(bad, -128, 127, s)) << bad;
}

} // namespace
