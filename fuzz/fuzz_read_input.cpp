// ReadInput with input reports of any length 0 to 64 and any content, on a
// pendant whose jogged axis starts at any value. Input: 4 bytes of that
// value's float bit pattern, then the report (bytes past 64 are ignored: the
// pendant's pipe here has 64-byte packets, so each report is one read).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "backends/virtual/virtual_pendant.h"
#include "fuzz/fuzz_support.h"
#include "pendant/pendant_device.h"

namespace vp = virtual_pendant;

namespace {

PendantDevice* device = nullptr;

bool SameFloat(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietStdout();
    vp::Reset();
    vp::Device pendant;
    pendant.pipes = {{UsbdPipeTypeInterrupt, 0x81, 64}};
    vp::SetDevice(pendant);
    device = new PendantDevice; // lives for the whole run
    fuzz::Check(SUCCEEDED(device->Open(nullptr)), "the virtual pendant did not open");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size < 4)
        return 0;
    float start;
    std::memcpy(&start, data, sizeof start);
    const std::vector<std::uint8_t> report(data + 4, data + std::min<std::size_t>(size, 4 + 64));

    vp::ClearCalls(); // the backend records every call; keep it from growing
    for (float& c : device->CoordSet1)
        c = 7.0f;
    for (float& c : device->CoordSet2)
        c = start;
    device->DisplayDirty = false;
    vp::QueueReport(report);

    fuzz::Check(device->ReadInput() == 0, "ReadInput of an open pendant returned non-zero");
    fuzz::Check(device->LastReadError == ERROR_SUCCESS, "a delivered report counted as failed");
    fuzz::Check(vp::PendingInput() == 0, "the report was not read");

    // What the report must do, from the decision table: bytes the platform
    // did not deliver read as zero.
    auto at = [&](std::size_t i) -> unsigned {
        return i < report.size() && i < 64 ? report[i] : 0;
    };
    const unsigned axis = at(3), count = at(4);
    const bool selects = axis >= 0x11 && axis <= 0x13;
    float delta = 0.0f;
    if (selects && count >= 1 && count <= 31)
        delta = static_cast<float>(count);
    else if (selects && count >= 0xE1)
        delta = -static_cast<float>(256 - count);

    for (int k = 0; k < 3; ++k) {
        fuzz::Check(device->CoordSet1[k] == 7.0f, "a jog report changed CoordSet1");
        const bool moved = delta != 0.0f && static_cast<unsigned>(k) == axis - 0x11;
        const float expected = moved ? start + delta : start;
        fuzz::Check(SameFloat(device->CoordSet2[k], expected), "wrong CoordSet2 after the report");
    }
    fuzz::Check(device->DisplayDirty == (delta != 0.0f), "dirty flag does not match the move");
    for (std::uint16_t w : device->DisplayWord)
        fuzz::Check(w == 0, "a jog report changed a display word");
    return 0;
}
