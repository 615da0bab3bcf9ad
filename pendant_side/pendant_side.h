// The pendant's side of the display protocol: turns the six SET_REPORT
// reports back into the values the display shows. Pure C++, no platform, so
// every virtual pendant (in-process, USB gadget, ...) decodes the same way.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pendant_side {

inline constexpr std::size_t FrameBytes = 48;
inline constexpr std::size_t ReportBytes = 8;
inline constexpr std::size_t ReportsPerFrame = 6;

struct DecodedDisplay {
    double CoordSet1[3] = {0, 0, 0};
    double CoordSet2[3] = {0, 0, 0};
    std::uint16_t DisplayWord[4] = {0, 0, 0, 0};
};

// Integer word and fraction word (1/10000, bit 15 the sign), little-endian.
// A zero magnitude with the sign bit decodes as -0.0, as the display shows it.
double DecodeFixed(const std::uint8_t* four);

// Returns "" when the 48 bytes are a well-formed display frame (report ids,
// constant bytes, fractions below 10000, zero tail), else what is wrong.
// out is filled in either case.
std::string DecodeDisplayFrame(const std::uint8_t* frame, DecodedDisplay& out);

// The setup packet of a display report: 21 09 06 03 00 00 08 00.
bool IsDisplaySetReport(const std::uint8_t* setup);

// Collects display reports as they arrive on the control pipe. A report that
// starts a payload (FE FD 0F after the id) may begin a frame, so that a frame
// cut short by a lost transfer is dropped instead of shifting every later
// one. But the same bytes can stand in a frame's data (display words 0xFExx
// and 0x0FFD do it), so a frame in progress goes on beside the new one, and
// of the two the one that ends as every frame ends (its sixth report is the
// constant 06 08 02 00 00 00 00 00) is taken.
class FrameAssembler {
  public:
    // Returns true when this report completed a frame (see Frame()).
    bool Add(const std::uint8_t* report, std::size_t length);
    const std::array<std::uint8_t, FrameBytes>& Frame() const { return frame_; }
    // Reports that could not be placed in a frame (wrong length or id, or no
    // frame start seen yet), and frames abandoned half-way.
    std::size_t Dropped() const { return dropped_; }

  private:
    struct Partial {
        std::array<std::uint8_t, FrameBytes> bytes{};
        std::size_t have = 0;
    };
    std::array<std::uint8_t, FrameBytes> frame_{};
    std::vector<Partial> partial_; // oldest first; at most six
    std::size_t dropped_ = 0;
};

// One line, e.g. "set1 1.5000 -2.2500 123.4570 | set2 0.0010 -0.0000 10.0000 | words 100 200 3000
// 12000".
std::string FormatDisplay(const DecodedDisplay& display);

} // namespace pendant_side
