#include "backends/linux/error_map.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <cerrno>

namespace {

using linux_backend::Win32FromErrno;
using linux_backend::Win32FromLibusb;

struct Mapping {
    int from;
    DWORD to;
};

TEST(ErrorMap, ErrnoFromOpeningANode) {
    const Mapping table[] = {
        {0, ERROR_SUCCESS},
        {ENOENT, ERROR_FILE_NOT_FOUND},
        {EACCES, ERROR_ACCESS_DENIED}, // the 0x80070005 of an inaccessible pendant
        {EPERM, ERROR_ACCESS_DENIED},
        {ENODEV, ERROR_DEVICE_NOT_CONNECTED},
        {ENXIO, ERROR_DEVICE_NOT_CONNECTED},
        {EBUSY, ERROR_BUSY},
        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
        {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
        {EINVAL, ERROR_INVALID_PARAMETER},
        {ETIMEDOUT, ERROR_SEM_TIMEOUT},
        {EBADF, ERROR_INVALID_HANDLE},
        {EIO, ERROR_GEN_FAILURE},
    };
    for (const auto& m : table)
        EXPECT_EQ(Win32FromErrno(m.from), m.to) << "errno " << m.from;
}

// A feature report or the ids asked of a hidraw node: never the time-out
// the core reads as an idle read.
TEST(ErrorMap, ErrnoFromAHidrawRequest) {
    const Mapping table[] = {
        {EPIPE, ERROR_GEN_FAILURE}, // the device stalled: refused
        {ETIMEDOUT, ERROR_GEN_FAILURE},
        {EIO, ERROR_GEN_FAILURE},
        {ENODEV, ERROR_DEVICE_NOT_CONNECTED}, // hidraw's own word for a device gone
        {ESHUTDOWN, ERROR_DEVICE_NOT_CONNECTED},
        {EACCES, ERROR_ACCESS_DENIED},
    };
    for (const auto& m : table)
        EXPECT_EQ(linux_backend::Win32FromHidErrno(m.from), m.to) << "errno " << m.from;
}

TEST(ErrorMap, LibusbErrors) {
    const Mapping table[] = {
        {LIBUSB_SUCCESS, ERROR_SUCCESS},
        {LIBUSB_ERROR_ACCESS, ERROR_ACCESS_DENIED},
        // The core sleeps after any failed read except the time-out, so
        // the time-out must be exactly WinUSB's code.
        {LIBUSB_ERROR_TIMEOUT, ERROR_SEM_TIMEOUT},
        {LIBUSB_ERROR_NO_DEVICE, ERROR_DEVICE_NOT_CONNECTED},
        {LIBUSB_ERROR_INVALID_PARAM, ERROR_INVALID_PARAMETER},
        {LIBUSB_ERROR_NOT_FOUND, ERROR_FILE_NOT_FOUND},
        {LIBUSB_ERROR_BUSY, ERROR_BUSY},
        {LIBUSB_ERROR_NO_MEM, ERROR_NOT_ENOUGH_MEMORY},
        {LIBUSB_ERROR_NOT_SUPPORTED, ERROR_NOT_SUPPORTED},
        {LIBUSB_ERROR_INTERRUPTED, ERROR_OPERATION_ABORTED},
        {LIBUSB_ERROR_IO, ERROR_GEN_FAILURE},
        {LIBUSB_ERROR_PIPE, ERROR_GEN_FAILURE},
        {LIBUSB_ERROR_OVERFLOW, ERROR_GEN_FAILURE},
        {LIBUSB_ERROR_OTHER, ERROR_GEN_FAILURE},
        {-1234, ERROR_GEN_FAILURE},
    };
    for (const auto& m : table)
        EXPECT_EQ(Win32FromLibusb(m.from), m.to) << libusb_error_name(m.from);
}

TEST(ErrorMap, AccessDeniedBecomesTheHresultTheToolPrints) {
    EXPECT_EQ(static_cast<std::uint32_t>(HRESULT_FROM_WIN32(Win32FromErrno(EACCES))), 0x80070005u);
    EXPECT_EQ(static_cast<std::uint32_t>(HRESULT_FROM_WIN32(Win32FromLibusb(LIBUSB_ERROR_ACCESS))),
              0x80070005u);
}

// How a finished read's status reaches the core: a vanished pendant must
// fail at once with the unplugged code (the loop then pauses), a time-out
// with the code the loop treats as idle.
TEST(ErrorMap, TransferStatus) {
    const struct {
        int status;
        DWORD error;
    } table[] = {
        {LIBUSB_TRANSFER_COMPLETED, ERROR_SUCCESS},
        {LIBUSB_TRANSFER_TIMED_OUT, ERROR_SEM_TIMEOUT},
        {LIBUSB_TRANSFER_NO_DEVICE, ERROR_DEVICE_NOT_CONNECTED},
        {LIBUSB_TRANSFER_CANCELLED, ERROR_OPERATION_ABORTED},
        {LIBUSB_TRANSFER_STALL, ERROR_GEN_FAILURE},
        {LIBUSB_TRANSFER_OVERFLOW, ERROR_GEN_FAILURE},
        {LIBUSB_TRANSFER_ERROR, ERROR_GEN_FAILURE},
    };
    for (const auto& c : table)
        EXPECT_EQ(linux_backend::Win32FromTransferStatus(c.status), c.error) << c.status;
}

} // namespace
