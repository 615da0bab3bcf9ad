// One read of the pendant's input pipe: trace line and jog decoding.
#include <cstdio>
#include <cstring>

#include "pendant/pendant_device.h"
#include "usb/last_error.h"

namespace {
constexpr std::size_t ClearedReportBytes = sizeof PendantDevice::LastReport;
} // namespace

namespace {
// One report through the HID driver into report: true and its bytes, or
// false with LastReadError set (ERROR_SEM_TIMEOUT when none came within the
// read time-out). A read still under way at the time-out is kept for the
// next turn; the turn's one blocking wait is WaitForSingleObject.
bool ReadHidReport(PendantDevice& d, UCHAR* report, ULONG& transferred) {
    if (!d.ReadPending) {
        d.ReadOverlapped = {};
        d.ReadOverlapped.hEvent = d.ReadEvent;
        if (!ReadFile(d.DeviceFile, d.HidReport, d.ReadLength, nullptr, &d.ReadOverlapped)) {
            if (GetLastError() != ERROR_IO_PENDING) {
                d.LastReadError = LastFailure();
                return false;
            }
            d.ReadPending = true;
        }
    }
    if (d.ReadPending) {
        const DWORD waited = WaitForSingleObject(d.ReadEvent, ReadTimeoutMs);
        if (waited == WAIT_TIMEOUT) {
            d.LastReadError = ERROR_SEM_TIMEOUT;
            return false;
        }
        if (waited != WAIT_OBJECT_0) {
            d.LastReadError = LastFailure();
            return false;
        }
    }
    DWORD bytes = 0;
    const BOOL ended = GetOverlappedResult(d.DeviceFile, &d.ReadOverlapped, &bytes, FALSE);
    if (!ended && GetLastError() == ERROR_IO_INCOMPLETE) {
        // Set but not ended: a spurious wake, as a time-out.
        d.LastReadError = ERROR_SEM_TIMEOUT;
        return false;
    }
    d.ReadPending = false;
    if (!ended) {
        d.LastReadError = LastFailure();
        return false;
    }
    transferred = bytes < d.ReadLength ? bytes : d.ReadLength;
    std::memcpy(report, d.HidReport, transferred);
    return true;
}
} // namespace

namespace {
// A report that arrived: kept for the check, traced, and its jog count
// applied to the selected axis.
void TakeReport(PendantDevice& d, const UCHAR* report, ULONG transferred) {
    std::memcpy(d.LastReport, report, sizeof d.LastReport);
    d.LastReportBytes = transferred;
    if (d.Trace) {
        std::printf("Read from rk27: %0x %0x %0x %0x %0x %0x \n", report[0], report[1], report[2],
                    report[3], report[4], report[5]);
        std::fflush(stdout);
    }

    const int axis = AxisIndexOf(report[AxisCodeByte]);
    const int count = DecodeJog(report[JogDeltaByte]);
    if (axis < 0 || count == 0)
        return;
    d.CoordSet2[axis] += static_cast<float>(count);
    d.DisplayDirty = true;
}

// ReadInput through the HID driver.
std::int32_t ReadHidInput(PendantDevice& d) {
    if (d.DeviceFile == INVALID_HANDLE_VALUE)
        return 1;
    UCHAR report[InputReportBytes];
    std::memset(report, 0, ClearedReportBytes);
    ULONG transferred = 0;
    if (!ReadHidReport(d, report, transferred))
        return 0;
    d.LastReadError = ERROR_SUCCESS;
    if (transferred != 0)
        TakeReport(d, report, transferred);
    return 0;
}
} // namespace

std::int32_t PendantDevice::ReadInput() {
    // The HID path has no WinUSB interface: it is told apart only there,
    // so that the WinUSB turn pays nothing for it.
    if (UsbInterface == INVALID_HANDLE_VALUE)
        return ThroughHid ? ReadHidInput(*this) : 1;

    // Bytes 0 to 5 are all the tool looks at. They are cleared (as 8 bytes,
    // one store) so that a short report reads as zeros beyond what it
    // delivered, in the trace line as in the decoding; clearing all 64 on
    // every turn would cost a sixth of an idle turn.
    UCHAR report[InputReportBytes];
    std::memset(report, 0, ClearedReportBytes);
    // One report per read (see ReadLength), never more than the buffer.
    ULONG transferred = 0;
    if (!WinUsb_ReadPipe(UsbInterface, ReadPipeId, report, ReadLength, &transferred, nullptr)) {
        LastReadError = LastFailure();
        return 0;
    }
    LastReadError = ERROR_SUCCESS;
    // A read that delivers nothing is the zero-length packet that ends a
    // transfer whose last packet was full, not a report.
    if (transferred != 0)
        TakeReport(*this, report, transferred);
    return 0;
}
