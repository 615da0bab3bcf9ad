// Display payload encoding, frame layout and the sending rule.
#include <cmath>
#include <cstring>
#include <limits>

#include "protocol/display.h"
#include "support/protocol_cases.h"
#include "support/virtual_pendant_test.h"

namespace vp = virtual_pendant;

namespace {

std::vector<std::uint8_t> FrameOf(const PendantDevice& device) {
    DisplayFrame frame;
    std::memset(frame, 0xCC, sizeof frame); // every byte must be written
    device.BuildDisplayFrame(frame);
    return {frame, frame + sizeof frame};
}

struct Words {
    std::uint16_t whole;
    std::uint16_t fraction;
};

Words Coordinate(float value) {
    std::uint8_t out[4] = {0xCC, 0xCC, 0xCC, 0xCC};
    EXPECT_EQ(EncodeCoordinate(value, out), 4);
    return {static_cast<std::uint16_t>(out[0] | out[1] << 8),
            static_cast<std::uint16_t>(out[2] | out[3] << 8)};
}

Words Fixed(float value) {
    std::uint8_t out[4] = {0xCC, 0xCC, 0xCC, 0xCC};
    EXPECT_EQ(EncodeFixed(value, out), 4);
    return {static_cast<std::uint16_t>(out[0] | out[1] << 8),
            static_cast<std::uint16_t>(out[2] | out[3] << 8)};
}

} // namespace

TEST(DisplayFrame, FreshRecordSendsOnlyTheConstants) {
    PendantDevice device;
    EXPECT_EQ(Hex(FrameOf(device)), "06 FE FD 0F 00 00 00 00 06 00 00 00 00 00 00 00 "
                                    "06 00 00 00 00 00 00 00 06 00 00 00 00 00 00 00 "
                                    "06 00 00 00 00 00 00 00 06 08 02 00 00 00 00 00");
}

TEST(DisplayFrame, ExampleValuesGiveTheKnownFrame) {
    PendantDevice device;
    SetExampleDisplay(device);
    EXPECT_EQ(Hex(FrameOf(device)), "06 FE FD 0F 01 00 88 13 06 02 00 C4 89 7B 00 DA "
                                    "06 11 00 00 0A 00 00 00 06 00 00 0A 00 00 00 64 "
                                    "06 00 C8 00 B8 0B E0 2E 06 08 02 00 00 00 00 00");
}

TEST(DisplayFrame, BuildingReadsTheRecordOnly) {
    PendantDevice device;
    EXPECT_FALSE(device.DisplayDirty);
    FrameOf(device);
    EXPECT_FALSE(device.DisplayDirty);
    device.SetDisplayWord0(1);
    FrameOf(device);
    EXPECT_TRUE(device.DisplayDirty);
}

TEST(DisplayFrame, EachCoordinateLandsAtItsOffset) {
    // Payload offset 3 + 4k is frame byte (3 + 4k) + (3 + 4k) / 7 + 1.
    for (int k = 0; k < 6; ++k) {
        PendantDevice device;
        (k < 3 ? device.CoordSet1[k] : device.CoordSet2[k - 3]) = 1.0f;
        const auto frame = FrameOf(device);
        const int payloadOffset = 3 + 4 * k;
        const int frameOffset = payloadOffset + payloadOffset / 7 + 1;
        EXPECT_EQ(frame[frameOffset], 1) << "coordinate " << k;
        int nonZero = 0;
        for (std::size_t i = 0; i < frame.size(); ++i)
            nonZero += frame[i] != 0 && i % 8 != 0;
        EXPECT_EQ(nonZero, 3 + 2 + 1) << "coordinate " << k; // header, trailer, the 1
    }
}

class PayloadCoordinate : public ::testing::TestWithParam<CoordinateCase> {};

TEST_P(PayloadCoordinate, IsRoundedToThreeDecimalsThenEncoded) {
    const CoordinateCase c = GetParam();
    const Words w = Coordinate(c.value);
    EXPECT_EQ(w.whole, c.whole) << c.value;
    EXPECT_EQ(w.fraction, c.fraction) << c.value;
}

INSTANTIATE_TEST_SUITE_P(Table, PayloadCoordinate, ::testing::ValuesIn(CoordinateCases));

TEST(EncodeFixed, SkipsTheRoundingToThreeDecimals) {
    const Words a = Fixed(1.2345f);
    EXPECT_EQ(a.whole, 1);
    EXPECT_EQ(a.fraction, 0x0929);
    // The sign comes from the unrounded argument.
    const Words b = Fixed(-0.00004f);
    EXPECT_EQ(b.whole, 0);
    EXPECT_EQ(b.fraction, 0x8000);
    const Words c = Fixed(-0.0f);
    EXPECT_EQ(c.fraction, 0x0000);
}

TEST(EncodeFixed, ValuesWithoutADefinedEncodingAreStillWellDefined) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct {
        float value;
        std::uint16_t whole, fraction;
    } cases[] = {
        {nan, 0, 0x0000},
        {-nan, 0, 0x0000},
        {inf, 0, 0x0000},
        {-inf, 0, 0x8000},
        // 429497.0 is 4294970000 ten-thousandths: the low 32 bits are 2704.
        {429497.0f, 0, 2704},
        {-429497.0f, 0, 0x8000 | 2704},
    };
    for (const auto& c : cases) {
        const Words w = Fixed(c.value);
        EXPECT_EQ(w.whole, c.whole) << c.value;
        EXPECT_EQ(w.fraction, c.fraction) << c.value;
        const Words p = Coordinate(c.value);
        EXPECT_EQ(p.whole, c.whole) << c.value;
        EXPECT_EQ(p.fraction, c.fraction) << c.value;
    }
}

TEST(EncodeFixed, EveryFloatGivesAFractionBelowTenThousand) {
    // A sweep through the 32-bit patterns (both signs, all exponents, NaNs,
    // infinities); under UBSan this also proves no conversion overflows.
    for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFULL; bits += 0x1003F) {
        const auto pattern = static_cast<std::uint32_t>(bits);
        float value;
        std::memcpy(&value, &pattern, sizeof value);
        const Words fixed = Fixed(value);
        const Words payload = Coordinate(value);
        ASSERT_LE(fixed.fraction & 0x7FFF, 9999) << std::hex << pattern;
        ASSERT_LE(payload.fraction & 0x7FFF, 9999) << std::hex << pattern;
        if (std::isfinite(value) && std::fabs(value) < 65535.0f) {
            std::uint8_t out[4];
            EncodeFixed(value, out);
            ASSERT_NEAR(protocol::DecodeFixed(out), value, 0.00005 + 1e-9) << value;
        }
    }
}

TEST(EncodeWord, KeepsTheLow16BitsLittleEndian) {
    std::uint8_t out[2];
    EXPECT_EQ(EncodeWord(0x12345, out), 2);
    EXPECT_EQ(out[0], 0x45);
    EXPECT_EQ(out[1], 0x23);
    EncodeWord(-1, out);
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0xFF);
}

class SendDisplayTest : public VirtualPendantTest {};

TEST_F(SendDisplayTest, CleanDisplaySendsNothing) {
    PendantDevice device;
    OpenQuietly(device);
    const unsigned opening = vp::CountOf(vp::Call::WinUsb_ControlTransfer);
    device.SendDisplay();
    EXPECT_EQ(vp::CountOf(vp::Call::WinUsb_ControlTransfer), opening);
}

TEST_F(SendDisplayTest, DirtyDisplaySendsSixReportsInOrderAndCleans) {
    PendantDevice device;
    OpenQuietly(device);
    vp::ClearCalls(); // the opening's own request (the report descriptor)
    const unsigned opening = vp::CountOf(vp::Call::WinUsb_ControlTransfer);
    device.SetCoordSet1Axis1(1.5f);
    device.SetCoordSet2Axis2(-2.25f);
    device.SetDisplayWord3(12000);
    const auto frame = FrameOf(device);
    device.SendDisplay();
    EXPECT_FALSE(device.DisplayDirty);

    const auto transfers = vp::CallsOf(vp::Call::WinUsb_ControlTransfer);
    ASSERT_EQ(transfers.size(), 6u);
    for (std::size_t n = 0; n < 6; ++n) {
        std::vector<std::uint8_t> expected = {0x21, 0x09, 0x06, 0x03, 0x00, 0x00, 0x08, 0x00};
        for (std::size_t i = 0; i < 8; ++i)
            expected.push_back(frame[8 * n + i]);
        EXPECT_EQ(Hex(transfers[n].bytes), Hex(expected)) << "report " << n;
        EXPECT_EQ(transfers[n].args[0], reinterpret_cast<std::uintptr_t>(device.UsbInterface));
        EXPECT_EQ(transfers[n].args[1], 8u); // buffer length
        EXPECT_EQ(transfers[n].args[3], 0u); // synchronous: no overlapped
    }
    // The pendant decodes what it was sent.
    ASSERT_EQ(vp::Frames().size(), 1u);
    EXPECT_EQ(vp::Frames()[0].problem, "");
    EXPECT_DOUBLE_EQ(vp::Frames()[0].display.CoordSet1[0], 1.5);
    EXPECT_DOUBLE_EQ(vp::Frames()[0].display.CoordSet2[1], -2.25);
    EXPECT_EQ(vp::Frames()[0].display.DisplayWord[3], 12000);

    device.SendDisplay();
    EXPECT_EQ(vp::CountOf(vp::Call::WinUsb_ControlTransfer), opening + 6u);
}

TEST_F(SendDisplayTest, FailedTransfersAreAllAttemptedAndNotRetried) {
    PendantDevice device;
    OpenQuietly(device);
    const unsigned opening = vp::CountOf(vp::Call::WinUsb_ControlTransfer);
    vp::FailCall(vp::Call::WinUsb_ControlTransfer, opening + 1, ERROR_GEN_FAILURE, /*sticky=*/true);
    device.SetCoordSet2Axis1(3.0f);
    device.SendDisplay();
    EXPECT_FALSE(device.DisplayDirty);
    EXPECT_EQ(vp::CountOf(vp::Call::WinUsb_ControlTransfer), opening + 6u);
    device.SendDisplay();
    EXPECT_EQ(vp::CountOf(vp::Call::WinUsb_ControlTransfer), opening + 6u);
    EXPECT_TRUE(vp::Frames().empty());
}
