// Test support: a clean virtual pendant per test.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "backends/virtual/virtual_pendant.h"
#include "pendant/pendant_device.h"
#include "support/capture.h"
#include "support/example_display.h"

// The default virtual device with these pipes (its interface descriptor
// counting them).
inline virtual_pendant::Device DeviceWithPipes(const std::vector<virtual_pendant::Pipe>& pipes) {
    virtual_pendant::Device device;
    device.pipes = pipes;
    device.iface.bNumEndpoints = static_cast<UCHAR>(pipes.size());
    return device;
}

// Each test starts with a fresh virtual pendant (present, one interrupt IN
// pipe 0x81 of 8-byte packets) and leaves none behind.
class VirtualPendantTest : public ::testing::Test {
  protected:
    void SetUp() override { virtual_pendant::Reset(); }
    void TearDown() override { virtual_pendant::Reset(); }

    // Opens device, swallowing the survey report; fails the test if it could not.
    static void OpenQuietly(PendantDevice& device);
};
