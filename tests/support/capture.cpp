#include "support/capture.h"

#include <cstdio>

std::string CaptureStdout(const std::function<void()>& fn) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    fn();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char two[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02X", b);
        if (!out.empty())
            out += ' ';
        out += two;
    }
    return out;
}

void SetExampleDisplay(PendantDevice& device) {
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

void VirtualPendantTest::OpenQuietly(PendantDevice& device) {
    HRESULT hr = E_OUTOFMEMORY;
    CaptureStdout([&] { hr = device.Open(nullptr); });
    ASSERT_EQ(hr, S_OK);
}
