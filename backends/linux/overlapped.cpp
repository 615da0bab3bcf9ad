// kernel32's events and overlapped reads for the HID handles, emulated on
// the hidraw node's non-blocking file descriptor. A read under way is only
// remembered: the waits poll(2) the node and read the report once one is
// there. So no thread or signal is needed, and a read that is cancelled,
// or left under way when the handle closes, has taken nothing from the
// kernel's queue of the device's reports.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <new>

#include "backends/linux/error_map.h"
#include "backends/linux/handles.h"

using namespace linux_backend;

namespace {

// OVERLAPPED.Internal of a read under way, Windows' STATUS_PENDING. Once
// it ended, Internal holds the HRESULT of its outcome (S_OK when it read a
// report) and InternalHigh the bytes it read.
constexpr ULONG_PTR Pending = 0x103;
// WaitForSingleObject's INFINITE.
constexpr DWORD Forever = 0xFFFFFFFF;

std::uint64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

// Ends the device's read under way with its outcome and sets its event.
void End(HidDevice& device, DWORD error, std::size_t bytes) {
    OVERLAPPED& overlapped = *device.read.overlapped;
    overlapped.Internal =
        static_cast<ULONG_PTR>(static_cast<std::uint32_t>(HRESULT_FROM_WIN32(error)));
    overlapped.InternalHigh = bytes;
    if (Event* event = device.read.event) {
        event->set = true;
        if (event->reader == &device)
            event->reader = nullptr;
    }
    device.read = {};
}

// Why a read of the node failed. hidraw says EIO once its device is gone,
// and its poll then says POLLHUP: not connected, as Windows has it.
DWORD ReadError(int fd, int err) {
    if (err == ENODEV || err == ENXIO || err == ESHUTDOWN)
        return ERROR_DEVICE_NOT_CONNECTED;
    pollfd gone{fd, 0, 0};
    if (poll(&gone, 1, 0) == 1 && (gone.revents & (POLLHUP | POLLERR)) != 0)
        return ERROR_DEVICE_NOT_CONNECTED;
    return Win32FromErrno(err);
}

// Reads a report for the read under way if one is there: true when that
// ended the read (with the report, or failed), false when there is none yet.
// hidraw hands over one whole report per read(2), the id byte first where
// the device numbers its reports.
bool TryRead(HidDevice& device) {
    for (;;) {
        const ssize_t n = read(device.fd, device.read.buffer, device.read.length);
        if (n > 0) {
            End(device, ERROR_SUCCESS, static_cast<std::size_t>(n));
            return true;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return false;
        // A device never gives an empty report: nothing more will come.
        End(device, ReadError(device.fd, n == 0 ? EIO : errno), 0);
        return true;
    }
}

// Waits up to ms (Forever: without limit) for the read under way to end,
// in one poll(2) unless a signal or a report that another reader of the
// node took first cuts it short. True when it ended.
bool Serve(HidDevice& device, DWORD ms) {
    const std::uint64_t start = NowMs();
    for (;;) {
        HonourSignal();
        int timeout = -1;
        if (ms != Forever) {
            const std::uint64_t waited = NowMs() - start;
            timeout = waited >= ms ? 0 : static_cast<int>(ms - waited);
        }
        pollfd ready{device.fd, POLLIN, 0};
        const int r = poll(&ready, 1, timeout);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            End(device, Win32FromErrno(errno), 0);
            return true;
        }
        if (r == 0)
            return false;
        if (TryRead(device))
            return true;
    }
}

// The outcome of a read that ended, as GetOverlappedResult gives it.
BOOL Outcome(const OVERLAPPED& overlapped, LPDWORD bytes) {
    if (bytes != nullptr)
        *bytes = static_cast<DWORD>(overlapped.InternalHigh);
    if (overlapped.Internal != 0)
        return Fail(static_cast<DWORD>(overlapped.Internal & 0xFFFF));
    return TRUE;
}

} // namespace

void linux_backend::CloseHidDevice(HidDevice* device) {
    if (device->read.pending)
        End(*device, ERROR_OPERATION_ABORTED, 0);
    if (device->fd >= 0)
        close(device->fd);
    device->kind = Kind{};
    delete device;
}

void linux_backend::CloseEvent(Event* event) {
    if (event->reader != nullptr)
        event->reader->read.event = nullptr;
    event->kind = Kind{};
    delete event;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL bManualReset,
                           BOOL bInitialState, LPCSTR lpName) {
    // Only what the core asks for. A named event would be shared with other
    // processes, and an auto-reset one reset by the wait that saw it set:
    // neither is emulated.
    if (lpName != nullptr || !bManualReset) {
        LastError() = ERROR_NOT_SUPPORTED;
        return nullptr;
    }
    auto* event = new (std::nothrow) Event;
    if (event == nullptr) {
        LastError() = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    event->set = bInitialState != FALSE;
    return event;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    auto* device = As<HidDevice>(hFile, Kind::Hid);
    if (device == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (lpNumberOfBytesRead != nullptr)
        *lpNumberOfBytesRead = 0;
    if (!device->mayRead)
        return Fail(ERROR_ACCESS_DENIED);
    if (lpOverlapped == nullptr)
        return Fail(ERROR_INVALID_PARAMETER); // only overlapped reads are emulated
    if (lpBuffer == nullptr ||
        nNumberOfBytesToRead < device->layout->Longest(protocol::ReportType::Input))
        return Fail(ERROR_INVALID_USER_BUFFER);
    Event* event = nullptr;
    if (lpOverlapped->hEvent != nullptr &&
        (event = As<Event>(lpOverlapped->hEvent, Kind::Event)) == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    // One read at a time on a handle: the core never has two.
    if (device->read.pending)
        return Fail(ERROR_BUSY);

    lpOverlapped->Internal = Pending;
    lpOverlapped->InternalHigh = 0;
    device->read.pending = true;
    device->read.buffer = lpBuffer;
    device->read.length = nNumberOfBytesToRead;
    device->read.overlapped = lpOverlapped;
    device->read.event = event;
    if (event != nullptr) {
        event->set = false;
        event->reader = device;
    }
    if (!TryRead(*device)) {
        if (device->overlapped)
            return Fail(ERROR_IO_PENDING);
        Serve(*device, Forever); // a handle opened for synchronous reads waits here
    }
    return Outcome(*lpOverlapped, lpNumberOfBytesRead);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    auto* event = As<Event>(hHandle, Kind::Event);
    if (event == nullptr) {
        LastError() = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    if (!event->set) {
        if (event->reader != nullptr)
            Serve(*event->reader, dwMilliseconds);
        else
            Sleep(dwMilliseconds); // nothing under way can set it
    }
    return event->set ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                                LPDWORD lpNumberOfBytesTransferred, BOOL bWait) {
    auto* device = As<HidDevice>(hFile, Kind::Hid);
    if (device == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (lpOverlapped == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    if (lpOverlapped->Internal == Pending) {
        if (!device->read.pending || device->read.overlapped != lpOverlapped)
            return Fail(ERROR_INVALID_PARAMETER); // not a read of this handle
        if (!bWait)
            return Fail(ERROR_IO_INCOMPLETE);
        Serve(*device, Forever);
    }
    return Outcome(*lpOverlapped, lpNumberOfBytesTransferred);
}

BOOL WINAPI CancelIo(HANDLE hFile) {
    auto* device = As<HidDevice>(hFile, Kind::Hid);
    if (device == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    // Nothing was taken from the node for it: the next read gets what
    // would have been its report.
    if (device->read.pending)
        End(*device, ERROR_OPERATION_ABORTED, 0);
    return TRUE;
}
