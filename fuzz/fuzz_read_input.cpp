// ReadInput with input reports of any length 0 to 64 and any content, on a
// pendant whose input pipe has packets of any size, and whose jogged axis
// starts at any value. Input: 1 byte of packet size (0 to 255), 4 bytes of
// that value's float bit pattern, then the report (bytes past 64 are
// ignored). Checked: what is asked for, the trace line, the decoding.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "backends/virtual/virtual_pendant.h"
#include "fuzz/fuzz_support.h"
#include "pendant/pendant_device.h"

namespace vp = virtual_pendant;

namespace {

bool SameFloat(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::CaptureStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size < 5)
        return 0;
    const USHORT packet = data[0];
    float start;
    std::memcpy(&start, data + 1, sizeof start);
    const std::vector<std::uint8_t> report(data + 5, data + std::min<std::size_t>(size, 5 + 64));

    vp::Reset();
    vp::KeepHistory(false);
    vp::Device pendant;
    pendant.pipes = {{UsbdPipeTypeInterrupt, 0x81, packet}};
    // No report descriptor: the read length follows the packet size.
    pendant.reportDescriptor.clear();
    vp::SetDevice(pendant);
    PendantDevice device;
    fuzz::Check(SUCCEEDED(device.Open(nullptr)), "the virtual pendant did not open");
    for (float& c : device.CoordSet1)
        c = 7.0f;
    for (float& c : device.CoordSet2)
        c = start;
    device.DisplayDirty = false;
    vp::QueueReport(report);

    // One packet when it holds the six bytes looked at, else 64 bytes.
    const std::size_t packetSize = packet == 0 ? 64 : packet;
    const ULONG asked = packet >= 6 && packet < 64 ? packet : 64;
    fuzz::Check(device.ReadLength == asked, "wrong read length for the pipe's packets");
    fuzz::ForgetStdout();
    fuzz::Check(device.ReadInput() == 0, "ReadInput of an open pendant returned non-zero");
    const std::string trace = fuzz::CapturedStdout();
    if (asked == 64 && report.size() == packetSize && packetSize < 64) {
        // One full packet of less than 64 bytes and nothing after: a read of
        // 64 waits for more, and times out. (A pendant whose packets are too
        // small for its reports must end each with a short packet.)
        fuzz::Check(device.LastReadError == ERROR_SEM_TIMEOUT && trace.empty(),
                    "a report that did not end was taken for a whole one");
        device.Close();
        return 0;
    }
    fuzz::Check(device.LastReadError == ERROR_SUCCESS, "a delivered report counted as failed");
    // A report within one packet, or spanning packets read 64 bytes at a
    // time, is read whole; one spanning packets read a packet at a time
    // leaves its rest queued.
    const std::size_t got = report.size() > packetSize && asked < 64 ? asked : report.size();
    // A report of 64 bytes in small packets fills the read before the
    // zero-length packet that ends it, which goes to the next read.
    const bool endLeft = got == 64 && report.size() > packetSize && 64 % packetSize == 0;
    fuzz::Check((vp::PendingInput() == 0) == (got == report.size() && !endLeft),
                "wrong part of the report read");

    if (got == 0) {
        // The zero-length packet that ends a transfer is no report.
        fuzz::Check(trace.empty() && !device.DisplayDirty, "an empty read was taken for a report");
        device.Close();
        return 0;
    }
    // What the report must do, from the decision table: bytes the platform
    // did not deliver read as zero.
    auto at = [&](std::size_t i) -> unsigned { return i < got ? report[i] : 0; };
    char line[64];
    std::snprintf(line, sizeof line, "Read from rk27: %x %x %x %x %x %x \n", at(0), at(1), at(2),
                  at(3), at(4), at(5));
    fuzz::Check(trace == line, "the trace line is not the report's");
    const unsigned axis = at(3), count = at(4);
    const bool selects = axis >= 0x11 && axis <= 0x13;
    float delta = 0.0f;
    if (selects && count >= 1 && count <= 31)
        delta = static_cast<float>(count);
    else if (selects && count >= 0xE1)
        delta = -static_cast<float>(256 - count);

    for (int k = 0; k < 3; ++k) {
        fuzz::Check(device.CoordSet1[k] == 7.0f, "a jog report changed CoordSet1");
        const bool moved = delta != 0.0f && static_cast<unsigned>(k) == axis - 0x11;
        const float expected = moved ? start + delta : start;
        fuzz::Check(SameFloat(device.CoordSet2[k], expected), "wrong CoordSet2 after the report");
    }
    fuzz::Check(device.DisplayDirty == (delta != 0.0f), "dirty flag does not match the move");
    for (std::uint16_t w : device.DisplayWord)
        fuzz::Check(w == 0, "a jog report changed a display word");
    device.Close();
    return 0;
}
