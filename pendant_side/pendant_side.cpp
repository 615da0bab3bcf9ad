#include "pendant_side/pendant_side.h"

#include <cstdio>
#include <cstring>

namespace pendant_side {

namespace {

std::uint16_t Word(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

constexpr std::uint8_t PayloadStart[3] = {0xFE, 0xFD, 0x0F};
// The last report of every frame: payload bytes 35 to 41 are constants.
constexpr std::uint8_t FrameEnd[8] = {0x06, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00};

void FormatValue(std::string& line, double value) {
    char text[48];
    std::snprintf(text, sizeof text, " %.4f", value);
    line += text;
}

} // namespace

double DecodeFixed(const std::uint8_t* four) {
    const std::uint16_t whole = Word(four);
    const std::uint16_t fraction = Word(four + 2);
    const double magnitude = whole + (fraction & 0x7FFF) / 10000.0;
    return (fraction & 0x8000) ? -magnitude : magnitude;
}

std::string DecodeDisplayFrame(const std::uint8_t* frame, DecodedDisplay& out) {
    std::uint8_t payload[ReportsPerFrame * (ReportBytes - 1)];
    std::string problem;
    for (std::size_t n = 0; n < ReportsPerFrame; ++n) {
        if (frame[n * ReportBytes] != 0x06 && problem.empty())
            problem = "report " + std::to_string(n) + " has id " +
                      std::to_string(frame[n * ReportBytes]) + ", not 6";
        std::memcpy(payload + n * (ReportBytes - 1), frame + n * ReportBytes + 1, ReportBytes - 1);
    }
    if (problem.empty() && std::memcmp(payload, PayloadStart, sizeof PayloadStart) != 0)
        problem = "payload does not start with FE FD 0F";
    if (problem.empty() && Word(payload + 35) != 0x0208)
        problem = "payload word at 35 is not 0x0208";
    for (std::size_t i = 37; i < sizeof payload && problem.empty(); ++i)
        if (payload[i] != 0)
            problem = "payload byte " + std::to_string(i) + " is not zero";

    for (int k = 0; k < 6; ++k) {
        const std::uint8_t* at = payload + 3 + 4 * k;
        const std::uint16_t fraction = Word(at + 2);
        if ((fraction & 0x7FFF) > 9999 && problem.empty())
            problem = "coordinate " + std::to_string(k) + " has a fraction above 9999";
        if (k < 3)
            out.CoordSet1[k] = DecodeFixed(at);
        else
            out.CoordSet2[k - 3] = DecodeFixed(at);
    }
    for (int j = 0; j < 4; ++j)
        out.DisplayWord[j] = Word(payload + 27 + 2 * j);
    return problem;
}

bool IsDisplaySetReport(const std::uint8_t* setup) {
    static const std::uint8_t expected[8] = {0x21, 0x09, 0x06, 0x03, 0x00, 0x00, 0x08, 0x00};
    return std::memcmp(setup, expected, sizeof expected) == 0;
}

bool FrameAssembler::Add(const std::uint8_t* report, std::size_t length) {
    if (length != ReportBytes || report[0] != 0x06) {
        ++dropped_;
        return false;
    }
    if (std::memcmp(report + 1, PayloadStart, sizeof PayloadStart) == 0)
        partial_.push_back(Partial{});
    else if (partial_.empty()) {
        ++dropped_;
        return false;
    }
    for (Partial& p : partial_)
        std::memcpy(p.bytes.data() + ReportBytes * p.have++, report, ReportBytes);
    // Only the oldest can be whole.
    const Partial& oldest = partial_.front();
    if (oldest.have < ReportsPerFrame)
        return false;
    const bool ends =
        std::memcmp(oldest.bytes.data() + FrameBytes - ReportBytes, FrameEnd, sizeof FrameEnd) == 0;
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
        line += " " + std::to_string(display.DisplayWord[j]);
    return line;
}

} // namespace pendant_side
