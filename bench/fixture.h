// What both bench programs share: a pendant opened on the null backend, and
// the operations they measure, each with the state it needs set up outside
// the part that is measured.
#pragma once

#include <cstdint>

#include "pendant/pendant_device.h"

namespace bench {

// Opens device on the null backend (its survey report goes to standard
// output); aborts if the open fails, since a benchmark of a closed pendant
// would measure nothing.
// With hid, on the null backend's HID path (pendant-test --hid).
void OpenNullPendant(PendantDevice& device, bool hid = false);

// The jog report every read delivers in the jog turns: axis 2, +1.
inline constexpr std::uint8_t JogReport[8] = {0x04, 0x00, 0x00, 0x12, 0x01, 0x00, 0x00, 0x00};

// Display values of a busy pendant, so that the encoders take their usual
// paths (both signs, fractions, values above 1024).
inline constexpr protocol::DisplayValues BusyDisplay = {
    {1.5f, -2.25f, 123.4567f}, {12345.678f, -0.0004f, 2.0005f}, {100, 200, 3000, 12000}};
inline void SetBusyDisplay(PendantDevice& device) {
    device.SetDisplay(BusyDisplay);
}

// Values EncodeFixed and EncodeCoordinate are measured on, taken in turn.
inline constexpr float EncoderValues[8] = {1.5f,     -2.25f, 123.4567f, 0.0005f,
                                           -0.0004f, 10.0f,  2.0005f,   12345.678f};

} // namespace bench
