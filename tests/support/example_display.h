// The example display used across the suites: (1.5, -2.25, 123.4567),
// (0.0005, -0.0004, 10.0), words (100, 200, 3000, 12000), set through the
// record's setters. Header-only so the Windows suites can use it too.
#pragma once

#include "pendant/pendant_device.h"

inline constexpr protocol::DisplayValues ExampleDisplay = {
    {1.5f, -2.25f, 123.4567f}, {0.0005f, -0.0004f, 10.0f}, {100, 200, 3000, 12000}};

inline void SetExampleDisplay(PendantDevice& device) {
    device.SetDisplay(ExampleDisplay);
}
