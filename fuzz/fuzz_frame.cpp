// The pendant's side of the display protocol with any bytes: any 48 as a
// frame, and any run of reports of any length through the frame assembler.
// A frame called well-formed has every constant in place and decodes to what
// its words say, worked out here a second way; the assembler hands back
// exactly the last six display reports, the first of them a payload's
// start.
#include <cmath>
#include <cstring>
#include <deque>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "protocol/display.h"

namespace {

double Coordinate(const std::uint8_t* payload, std::size_t at) {
    const unsigned whole = payload[at] | (payload[at + 1] << 8);
    const unsigned fraction = payload[at + 2] | (payload[at + 3] << 8);
    const double magnitude = whole + (fraction & 0x7FFF) / 10000.0;
    return (fraction & 0x8000) ? -magnitude : magnitude;
}

bool SameDouble(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || std::fabs(a - b) < 1e-9;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size >= DisplayFrameBytes) {
        protocol::DecodedDisplay shown;
        const bool wellFormed = protocol::DecodeDisplayFrame(data, shown).empty();
        std::uint8_t payload[42];
        for (std::size_t n = 0; n < 6; ++n)
            std::memcpy(payload + 7 * n, data + 8 * n + 1, 7);
        bool constants = true;
        for (std::size_t n = 0; n < 6; ++n)
            constants = constants && data[8 * n] == 0x06;
        constants = constants && payload[0] == 0xFE && payload[1] == 0xFD && payload[2] == 0x0F &&
                    payload[35] == 0x08 && payload[36] == 0x02;
        for (std::size_t i = 37; i < 42; ++i)
            constants = constants && payload[i] == 0;
        bool fractions = true;
        for (std::size_t k = 0; k < 6; ++k)
            fractions = fractions &&
                        ((payload[3 + 4 * k + 2] | (payload[3 + 4 * k + 3] << 8)) & 0x7FFF) < 10000;
        fuzz::Check(wellFormed == (constants && fractions),
                    "well-formed is not what the bytes say");
        for (std::size_t k = 0; k < 3; ++k) {
            fuzz::Check(SameDouble(shown.CoordSet1[k], Coordinate(payload, 3 + 4 * k)),
                        "set 1 decodes to another value");
            fuzz::Check(SameDouble(shown.CoordSet2[k], Coordinate(payload, 15 + 4 * k)),
                        "set 2 decodes to another value");
        }
        for (std::size_t j = 0; j < 4; ++j)
            fuzz::Check(shown.DisplayWord[j] == (payload[27 + 2 * j] | (payload[28 + 2 * j] << 8)),
                        "a display word decodes to another value");
        fuzz::Check(!protocol::FormatDisplay(shown).empty(), "nothing to show");
    }

    // Reports: one length byte (0 to 15) then that many bytes, repeated.
    protocol::FrameAssembler assembler;
    std::deque<std::vector<std::uint8_t>> recent;
    for (std::size_t at = 0; at < size;) {
        const std::size_t length = data[at++] & 0x0F;
        std::vector<std::uint8_t> report(data + at, data + std::min(size, at + length));
        at += length;
        // Only display reports take part in frames.
        if (report.size() == DisplayReportBytes && report[0] == 0x06) {
            recent.push_back(report);
            if (recent.size() > 6)
                recent.pop_front();
        }
        if (!assembler.Add(report.data(), report.size()))
            continue;
        fuzz::Check(recent.size() == 6, "a frame of fewer than six reports");
        for (std::size_t n = 0; n < 6; ++n) {
            fuzz::Check(recent[n].size() == DisplayReportBytes && recent[n][0] == 0x06,
                        "a frame of something other than display reports");
            fuzz::Check(std::memcmp(assembler.Frame().data() + 8 * n, recent[n].data(), 8) == 0,
                        "the frame is not the last six reports");
        }
        fuzz::Check(recent[0][1] == 0xFE && recent[0][2] == 0xFD && recent[0][3] == 0x0F,
                    "a frame that does not begin a payload");
        recent.clear(); // the next frame starts afresh
    }
    return 0;
}
