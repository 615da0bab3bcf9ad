// The display payload both ways: the host's encoders that turn the ten
// display values into the 48-byte frame of six reports, and the pendant's
// decoders that turn the frame back into what the display shows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/wire.h"

// Writes the integer word and then the fraction word (1/10000 units, bit 15
// the sign), little-endian, to out; returns the 4 bytes written.
int EncodeFixed(float value, std::uint8_t* out);
// Writes the low 16 bits of value, little-endian, to out; returns 2.
int EncodeWord(std::int32_t value, std::uint8_t* out);
// A coordinate as the display payload carries it: value rounded to three
// decimals, then EncodeFixed. Returns 4.
int EncodeCoordinate(float value, std::uint8_t* out);

namespace protocol {

// The ten values a frame carries, as the host holds them.
struct DisplayValues {
    float CoordSet1[3] = {0, 0, 0};
    float CoordSet2[3] = {0, 0, 0};
    std::uint16_t DisplayWord[4] = {0, 0, 0, 0};
};
using FrameArray = std::array<std::uint8_t, DisplayFrameBytes>;

// Fills the DisplayFrameBytes of frame: the payload of these values cut into
// six reports, each the report id and seven payload bytes.
void BuildFrame(const float coordSet1[3], const float coordSet2[3],
                const std::uint16_t displayWord[4], std::uint8_t* frame);
FrameArray BuildFrame(const DisplayValues& values);

// What the pendant's display shows.
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

// Whether the 8 setup bytes are those of a display report.
bool IsDisplaySetReport(const std::uint8_t* setup);

// Collects display reports as they arrive on the control pipe. A report that
// starts a payload (FE FD 0F after the id) may begin a frame, so that a frame
// cut short by a lost transfer is dropped instead of shifting every later
// one. But the same bytes can stand in a frame's data (display words 0xFExx
// and 0x0FFD do it), so a frame in progress goes on beside the new one, and
// of the two the one that ends as every frame ends (its sixth report is the
// constant FrameLastReport) is taken.
class FrameAssembler {
  public:
    // Returns true when this report completed a frame (see Frame()).
    bool Add(const std::uint8_t* report, std::size_t length);
    const FrameArray& Frame() const { return frame_; }
    // Reports that could not be placed in a frame (wrong length or id, or no
    // frame start seen yet), and frames abandoned half-way.
    std::size_t Dropped() const { return dropped_; }

  private:
    struct Partial {
        FrameArray bytes{};
        std::size_t have = 0;
    };
    FrameArray frame_{};
    std::vector<Partial> partial_; // oldest first; at most six
    std::size_t dropped_ = 0;
};

// One line, e.g. "set1 1.5000 -2.2500 123.4570 | set2 0.0010 -0.0000 10.0000 | words 100 200 3000
// 12000".
std::string FormatDisplay(const DecodedDisplay& display);

} // namespace protocol
