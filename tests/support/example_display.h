// The example display used across the suites: (1.5, -2.25, 123.4567),
// (0.0005, -0.0004, 10.0), words (100, 200, 3000, 12000), set through the
// record's setters. Header-only so the Windows suites can use it too.
#pragma once

#include "pendant/pendant_device.h"

inline void SetExampleDisplay(PendantDevice& device) {
    device.SetCoordSet1Axis1(1.5f);
    device.SetCoordSet1Axis2(-2.25f);
    device.SetCoordSet1Axis3(123.4567f);
    device.SetCoordSet2Axis1(0.0005f);
    device.SetCoordSet2Axis2(-0.0004f);
    device.SetCoordSet2Axis3(10.0f);
    device.SetDisplayWord0(100);
    device.SetDisplayWord1(200);
    device.SetDisplayWord2(3000);
    device.SetDisplayWord3(12000);
}
