// The pendant's side of the display protocol.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "protocol/display.h"
#include "support/example_display.h"

using namespace protocol;

namespace {
std::array<std::uint8_t, DisplayFrameBytes> ExampleFrame() {
    PendantDevice device;
    SetExampleDisplay(device);
    std::array<std::uint8_t, DisplayFrameBytes> frame;
    device.BuildDisplayFrame(frame.data());
    return frame;
}
} // namespace

TEST(DisplayDecoder, DecodesWhatTheToolEncodes) {
    DecodedDisplay d;
    EXPECT_EQ(DecodeDisplayFrame(ExampleFrame().data(), d), "");
    EXPECT_DOUBLE_EQ(d.CoordSet1[0], 1.5);
    EXPECT_DOUBLE_EQ(d.CoordSet1[1], -2.25);
    EXPECT_DOUBLE_EQ(d.CoordSet1[2], 123.457);
    EXPECT_DOUBLE_EQ(d.CoordSet2[0], 0.001);
    EXPECT_DOUBLE_EQ(d.CoordSet2[1], 0.0);
    EXPECT_DOUBLE_EQ(d.CoordSet2[2], 10.0);
    EXPECT_EQ(d.DisplayWord[0], 100);
    EXPECT_EQ(d.DisplayWord[3], 12000);
    EXPECT_EQ(FormatDisplay(d), "set1 1.5000 -2.2500 123.4570 | set2 0.0010 0.0000 10.0000 | "
                                "words 100 200 3000 12000");
}

TEST(DisplayDecoder, FixedPointSignIsBitFifteenNotTwosComplement) {
    const std::uint8_t minus15[4] = {0x01, 0x00, 0x88, 0x93};
    EXPECT_DOUBLE_EQ(DecodeFixed(minus15), -1.5);
    const std::uint8_t negativeZero[4] = {0x00, 0x00, 0x00, 0x80};
    DecodedDisplay d;
    auto frame = ExampleFrame();
    std::memcpy(frame.data() + 1 + 3, negativeZero, 4); // coordinate 0 at payload offset 3
    EXPECT_EQ(DecodeDisplayFrame(frame.data(), d), "");
    EXPECT_TRUE(std::signbit(d.CoordSet1[0]));
    EXPECT_EQ(FormatDisplay(d).substr(0, 12), "set1 -0.0000");
}

TEST(DisplayDecoder, SaysWhatIsWrongWithAMalformedFrame) {
    struct {
        std::size_t at;
        std::uint8_t value;
        const char* problem;
    } cases[] = {
        {16, 0x05, "report 2 has id 5, not 6"},
        {1, 0xFF, "payload does not start with FE FD 0F"},
        {41, 0x09, "payload word at 35 is not 0x0208"},
        {45, 0x01, "payload byte 39 is not zero"},
        {7, 0x27, "coordinate 0 has a fraction above 9999"}, // fraction 0x2788 = 10120
    };
    for (const auto& c : cases) {
        auto frame = ExampleFrame();
        frame[c.at] = c.value;
        DecodedDisplay d;
        EXPECT_EQ(DecodeDisplayFrame(frame.data(), d), c.problem) << c.at;
    }
}

TEST(DisplayDecoder, RecognisesOnlyTheDisplaySetReport) {
    const std::uint8_t setup[8] = {0x21, 0x09, 0x06, 0x03, 0x00, 0x00, 0x08, 0x00};
    EXPECT_TRUE(IsDisplaySetReport(setup));
    for (std::size_t i = 0; i < 8; ++i) {
        std::uint8_t other[8];
        std::memcpy(other, setup, 8);
        other[i] ^= 0x01;
        EXPECT_FALSE(IsDisplaySetReport(other)) << i;
    }
}

TEST(FrameAssembler, CompletesAfterSixReportsAndResynchronises) {
    const auto frame = ExampleFrame();
    FrameAssembler a;
    // A stray report before any frame start is dropped.
    EXPECT_FALSE(a.Add(frame.data() + 8, 8));
    // A frame cut short by a lost report is abandoned at the next start.
    for (int n = 0; n < 4; ++n)
        EXPECT_FALSE(a.Add(frame.data() + 8 * n, 8));
    for (int n = 0; n < 6; ++n)
        EXPECT_EQ(a.Add(frame.data() + 8 * n, 8), n == 5) << n;
    EXPECT_EQ(a.Frame(), frame);
    EXPECT_EQ(a.Dropped(), 2u);
    // Wrong length or id never enters a frame.
    const std::uint8_t badId[8] = {0x05, 0xFE, 0xFD, 0x0F, 0, 0, 0, 0};
    EXPECT_FALSE(a.Add(badId, 8));
    EXPECT_FALSE(a.Add(frame.data(), 7));
    EXPECT_EQ(a.Dropped(), 4u);
}

TEST(FrameAssembler, DataThatLooksLikeAFrameStartStaysInItsFrame) {
    // Display words 0xFE12 and 0x0FFD put FE FD 0F at the start of report 4.
    auto frame = ExampleFrame();
    const std::uint8_t words[4] = {0x12, 0xFE, 0xFD, 0x0F}; // payload 27 to 30
    std::memcpy(frame.data() + 31, words, 1);
    std::memcpy(frame.data() + 33, words + 1, 3);
    ASSERT_EQ(frame[32], 0x06);
    ASSERT_EQ(frame[33], 0xFE);
    FrameAssembler a;
    for (int round = 0; round < 2; ++round)
        for (int n = 0; n < 6; ++n)
            EXPECT_EQ(a.Add(frame.data() + 8 * n, 8), n == 5) << round << ", report " << n;
    EXPECT_EQ(a.Frame(), frame);
    EXPECT_EQ(a.Dropped(), 0u);
}
