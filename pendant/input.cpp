// One read of the pendant's input pipe: trace line and jog decoding.
#include <cstdio>

#include "pendant/pendant_device.h"

namespace {
constexpr std::uint8_t AxisCodeFirst = 0x11;
constexpr std::uint8_t AxisCodeLast = 0x13;
constexpr unsigned JogMaxCount = 31;
} // namespace

std::int32_t PendantDevice::ReadInput() {
    if (UsbInterface == INVALID_HANDLE_VALUE)
        return 1;

    // Cleared so that a short report reads as zeros beyond what it delivered,
    // in the trace line as in the decoding.
    UCHAR report[InputReportBytes] = {};
    // One packet per read. A read ends only on a short packet or a full
    // buffer, so asking for 64 bytes from a pipe of 8-byte packets would
    // make a pendant whose reports fill their packet wait for eight of them
    // (or the time-out) and lose all but the first: jog counts lost.
    ULONG length = static_cast<ULONG>(sizeof report);
    if (ReadPipeMaxPacket != 0 && ReadPipeMaxPacket < length)
        length = ReadPipeMaxPacket;
    ULONG transferred = 0;
    if (!WinUsb_ReadPipe(UsbInterface, ReadPipeId, report, length, &transferred, nullptr)) {
        LastReadError = GetLastError();
        // Some platforms report failure without an error code; keep "failed"
        // distinguishable from "a report arrived".
        if (LastReadError == ERROR_SUCCESS)
            LastReadError = ERROR_GEN_FAILURE;
        return 0;
    }
    LastReadError = ERROR_SUCCESS;

    std::printf("Read from rk27: %0x %0x %0x %0x %0x %0x \n", report[0], report[1], report[2],
                report[3], report[4], report[5]);
    std::fflush(stdout);

    const unsigned axisCode = report[3];
    const unsigned delta = report[4];
    if (axisCode < AxisCodeFirst || axisCode > AxisCodeLast)
        return 0;
    float& coordinate = CoordSet2[axisCode - AxisCodeFirst];
    if (delta >= 1 && delta <= JogMaxCount) {
        coordinate += static_cast<float>(delta);
        DisplayDirty = true;
    } else if (delta >= 256 - JogMaxCount) {
        coordinate -= static_cast<float>(256 - delta);
        DisplayDirty = true;
    }
    return 0;
}
