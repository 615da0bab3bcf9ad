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

void VirtualPendantTest::OpenQuietly(PendantDevice& device) {
    HRESULT hr = E_OUTOFMEMORY;
    CaptureStdout([&] { hr = device.Open(nullptr); });
    ASSERT_EQ(hr, S_OK);
}
