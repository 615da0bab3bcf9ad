// The display payload: the host's encoding and the pendant's decoding.
#include "protocol/display.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

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

// Problems as text by printf: gcc 12 sees a false overlap in the inlined
// std::string concatenations of literals and numbers (-Wrestrict).
[[gnu::format(printf, 1, 2)]] std::string Say(const char* format, ...) {
    char text[96];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

void FormatValue(std::string& line, double value) {
    char text[48];
    std::snprintf(text, sizeof text, " %.4f", value);
    line += text;
}

} // namespace

int EncodeFixed(float value, std::uint8_t* out) {
    const std::uint32_t a = TenThousandths(std::fabs(static_cast<double>(value)));
    const auto whole = static_cast<std::uint16_t>((a / FractionUnitsPerWhole) & 0xFFFFU);
    auto fraction = static_cast<std::uint16_t>(a % FractionUnitsPerWhole);
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
    PutLe16(out, static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFFU));
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

namespace protocol {

void BuildFrame(const float coordSet1[3], const float coordSet2[3],
                const std::uint16_t displayWord[4], std::uint8_t* frame) {
    std::uint8_t payload[DisplayPayloadBytes] = {};
    std::uint8_t* at = payload;
    PutLe16(at, PayloadHeaderWord);
    at += 2;
    *at++ = PayloadHeaderByte;
    for (int k = 0; k < 3; ++k)
        at += EncodeCoordinate(coordSet1[k], at);
    for (int k = 0; k < 3; ++k)
        at += EncodeCoordinate(coordSet2[k], at);
    for (int j = 0; j < 4; ++j)
        at += EncodeWord(displayWord[j], at);
    PutLe16(at, PayloadTrailerWord);

    for (std::size_t n = 0; n < DisplayReportCount; ++n) {
        frame[n * DisplayReportBytes] = DisplayReportId;
        std::memcpy(frame + n * DisplayReportBytes + 1, payload + n * DisplayReportPayloadBytes,
                    DisplayReportPayloadBytes);
    }
}

FrameArray BuildFrame(const DisplayValues& values) {
    FrameArray frame{};
    BuildFrame(values.CoordSet1, values.CoordSet2, values.DisplayWord, frame.data());
    return frame;
}

double DecodeFixed(const std::uint8_t* four) {
    const std::uint16_t whole = GetLe16(four);
    const std::uint16_t fraction = GetLe16(four + 2);
    const double magnitude =
        whole + (fraction & FractionMagnitudeMask) / static_cast<double>(FractionUnitsPerWhole);
    return (fraction & FractionSignBit) ? -magnitude : magnitude;
}

std::string DecodeDisplayFrame(const std::uint8_t* frame, DecodedDisplay& out) {
    std::uint8_t payload[DisplayPayloadBytes];
    std::string problem;
    for (std::size_t n = 0; n < DisplayReportCount; ++n) {
        const std::uint8_t id = frame[n * DisplayReportBytes];
        if (id != DisplayReportId && problem.empty())
            problem =
                Say("report %u has id %u, not %u", static_cast<unsigned>(n), id, DisplayReportId);
        std::memcpy(payload + n * DisplayReportPayloadBytes, frame + n * DisplayReportBytes + 1,
                    DisplayReportPayloadBytes);
    }
    if (problem.empty() &&
        std::memcmp(payload, PayloadStartBytes.data(), PayloadStartBytes.size()) != 0)
        problem = "payload does not start with FE FD 0F";
    if (problem.empty() && GetLe16(payload + PayloadTrailerOffset) != PayloadTrailerWord)
        problem = "payload word at 35 is not 0x0208";
    for (std::size_t i = PayloadZeroOffset; i < sizeof payload && problem.empty(); ++i)
        if (payload[i] != 0)
            problem = Say("payload byte %u is not zero", static_cast<unsigned>(i));

    for (int k = 0; k < 6; ++k) {
        const std::uint8_t* at = payload + PayloadCoordinateOffset + PayloadCoordinateBytes * k;
        const std::uint16_t fraction = GetLe16(at + 2);
        if ((fraction & FractionMagnitudeMask) >= FractionUnitsPerWhole && problem.empty())
            problem = Say("coordinate %d has a fraction above 9999", k);
        if (k < 3)
            out.CoordSet1[k] = DecodeFixed(at);
        else
            out.CoordSet2[k - 3] = DecodeFixed(at);
    }
    for (int j = 0; j < 4; ++j)
        out.DisplayWord[j] = GetLe16(payload + PayloadWordOffset + 2 * j);
    return problem;
}

bool IsDisplaySetReport(const std::uint8_t* setup) {
    return std::memcmp(setup, DisplaySetupBytes.data(), DisplaySetupBytes.size()) == 0;
}

bool FrameAssembler::Add(const std::uint8_t* report, std::size_t length) {
    if (length != DisplayReportBytes || report[0] != DisplayReportId) {
        ++dropped_;
        return false;
    }
    if (std::memcmp(report + 1, PayloadStartBytes.data(), PayloadStartBytes.size()) == 0)
        partial_.push_back(Partial{});
    else if (partial_.empty()) {
        ++dropped_;
        return false;
    }
    for (Partial& p : partial_)
        std::memcpy(p.bytes.data() + DisplayReportBytes * p.have++, report, DisplayReportBytes);
    // Only the oldest can be whole.
    const Partial& oldest = partial_.front();
    if (oldest.have < DisplayReportCount)
        return false;
    const bool ends = std::memcmp(oldest.bytes.data() + DisplayFrameBytes - DisplayReportBytes,
                                  FrameLastReport.data(), FrameLastReport.size()) == 0;
    if (!ends && partial_.size() > 1) {
        // Cut short by a lost report: the later start was a frame's.
        partial_.erase(partial_.begin());
        ++dropped_;
        return false;
    }
    frame_ = oldest.bytes;
    // Starts seen inside it were its data.
    partial_.clear();
    return true;
}

std::string FormatDisplay(const DecodedDisplay& display) {
    std::string line = "set1";
    for (int k = 0; k < 3; ++k)
        FormatValue(line, display.CoordSet1[k]);
    line += " | set2";
    for (int k = 0; k < 3; ++k)
        FormatValue(line, display.CoordSet2[k]);
    line += " | words";
    for (int j = 0; j < 4; ++j)
        line += Say(" %u", display.DisplayWord[j]);
    return line;
}

} // namespace protocol
