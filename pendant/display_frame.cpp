// Display payload encoding and the six SET_REPORT transfers that carry it.
#include <cmath>
#include <cstring>

#include "pendant/pendant_device.h"

namespace {

constexpr std::uint8_t DisplayReportId = 0x06;
constexpr std::uint16_t PayloadHeaderWord = 0xFDFE;
constexpr std::uint8_t PayloadHeaderByte = 0x0F;
constexpr std::uint16_t PayloadTrailerWord = 0x0208;
constexpr std::uint16_t FractionSignBit = 0x8000;

void PutWord(std::uint8_t* out, std::uint16_t word) {
    out[0] = static_cast<std::uint8_t>(word & 0xFF);
    out[1] = static_cast<std::uint8_t>(word >> 8);
}

// Magnitude in ten-thousandths as a 32-bit count. The display has no way to
// show what does not fit, so rather than leave it undefined: NaN and
// infinities count as 0, and finite magnitudes of 2^32 ten-thousandths or
// more keep their low 32 bits - the same wrap the integer word already
// applies at 65536.
std::uint32_t TenThousandths(double magnitude) {
    const double product = magnitude * 10000.0;
    // Every value the display can show takes this path: rounding half away
    // from zero done inline, since the C library's round() is a call that
    // costs a third of the encoding. product - a is exact (the fraction of a
    // double), so this equals round() for all of 0 <= product < 2^32 - 0.5;
    // NaN fails the test and takes the general path.
    if (product < 4294967295.5) {
        auto a = static_cast<std::uint32_t>(product);
        if (product - a >= 0.5)
            ++a;
        return a;
    }
    double scaled = std::round(product);
    if (!std::isfinite(scaled))
        return 0;
    if (scaled >= 4294967296.0)
        scaled = std::fmod(scaled, 4294967296.0);
    return static_cast<std::uint32_t>(scaled);
}

} // namespace

int EncodeFixed(float value, std::uint8_t* out) {
    const std::uint32_t a = TenThousandths(std::fabs(static_cast<double>(value)));
    const auto whole = static_cast<std::uint16_t>((a / 10000U) & 0xFFFFU);
    auto fraction = static_cast<std::uint16_t>(a % 10000U);
    if (value < 0.0f)
        fraction = static_cast<std::uint16_t>(fraction | FractionSignBit);
    // Both words in one value, byte by byte: the compiler makes it one store.
    const std::uint32_t words = whole | (static_cast<std::uint32_t>(fraction) << 16);
    out[0] = static_cast<std::uint8_t>(words);
    out[1] = static_cast<std::uint8_t>(words >> 8);
    out[2] = static_cast<std::uint8_t>(words >> 16);
    out[3] = static_cast<std::uint8_t>(words >> 24);
    return 4;
}

int EncodeWord(std::int32_t value, std::uint8_t* out) {
    PutWord(out, static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFFU));
    return 2;
}

int EncodeCoordinate(float value, std::uint8_t* out) {
    // A single-precision product on purpose: it is what the display protocol
    // is defined with, and it shows (2.0005 is sent as 2.001, where a double
    // product would give 2.000).
    const float thousandths = value * 1000.0f;
    // round() inline, as in TenThousandths. From 2^23 on every float is a
    // whole number already (as are infinities; NaN stays NaN). A value in
    // (-0.5, 0) becomes +0 here where round() gives -0; either encodes the
    // same, since only a value below zero gets the sign bit.
    float whole = thousandths;
    if (std::fabs(thousandths) < 8388608.0f) {
        whole = static_cast<float>(static_cast<std::int32_t>(thousandths));
        const float rest = thousandths - whole;
        if (rest >= 0.5f)
            whole += 1.0f;
        else if (rest <= -0.5f)
            whole -= 1.0f;
    }
    const auto rounded = static_cast<float>(static_cast<double>(whole) / 1000.0);
    return EncodeFixed(rounded, out);
}

void PendantDevice::BuildDisplayFrame(DisplayFrame frame) const {
    std::uint8_t payload[DisplayPayloadBytes] = {};
    std::uint8_t* at = payload;
    PutWord(at, PayloadHeaderWord);
    at += 2;
    *at++ = PayloadHeaderByte;
    for (float c : CoordSet1)
        at += EncodeCoordinate(c, at);
    for (float c : CoordSet2)
        at += EncodeCoordinate(c, at);
    for (std::uint16_t w : DisplayWord)
        at += EncodeWord(w, at);
    PutWord(at, PayloadTrailerWord);

    constexpr std::size_t payloadPerReport = DisplayReportBytes - 1;
    for (std::size_t n = 0; n < DisplayReportCount; ++n) {
        frame[n * DisplayReportBytes] = DisplayReportId;
        std::memcpy(frame + n * DisplayReportBytes + 1, payload + n * payloadPerReport,
                    payloadPerReport);
    }
}

void PendantDevice::SendDisplay() {
    if (!DisplayDirty)
        return;
    DisplayFrame frame;
    BuildDisplayFrame(frame);

    // HID SET_REPORT, feature report 6, to interface 0.
    WINUSB_SETUP_PACKET setup;
    setup.RequestType = 0x21;
    setup.Request = 0x09;
    setup.Value = 0x0306;
    setup.Index = 0x0000;
    setup.Length = static_cast<USHORT>(DisplayReportBytes);
    for (std::size_t n = 0; n < DisplayReportCount; ++n) {
        ULONG transferred = 0;
        // Fire and forget: a frame the pendant missed is sent again with the
        // next change; retrying here would stall the jog loop.
        WinUsb_ControlTransfer(UsbInterface, setup, frame + n * DisplayReportBytes,
                               static_cast<ULONG>(DisplayReportBytes), &transferred, nullptr);
    }
    DisplayDirty = false;
}
