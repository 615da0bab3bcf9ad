#include "backends/linux/error_map.h"

#include <libusb.h>

#include <cerrno>

namespace linux_backend {

DWORD Win32FromErrno(int err) {
    switch (err) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
    case ENOTDIR:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENODEV:
    case ENXIO:
        return ERROR_DEVICE_NOT_CONNECTED;
    case EBUSY:
        return ERROR_BUSY;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ETIMEDOUT:
        return ERROR_SEM_TIMEOUT;
    case EINTR:
        return ERROR_OPERATION_ABORTED;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    default:
        return ERROR_GEN_FAILURE;
    }
}

DWORD Win32FromHidErrno(int err) {
    switch (err) {
    case ESHUTDOWN: // the USB core, of a device unplugged under a request
        return ERROR_DEVICE_NOT_CONNECTED;
    case ETIMEDOUT: // a SET_REPORT the device never answered
        return ERROR_GEN_FAILURE;
    default: // EPIPE (a stall) and EIO included: the device refused it
        return Win32FromErrno(err);
    }
}

DWORD Win32FromLibusb(int libusbError) {
    switch (libusbError) {
    case LIBUSB_SUCCESS:
        return ERROR_SUCCESS;
    case LIBUSB_ERROR_ACCESS:
        return ERROR_ACCESS_DENIED;
    case LIBUSB_ERROR_TIMEOUT:
        // What WinUSB gives when PIPE_TRANSFER_TIMEOUT runs out; the core
        // tells this apart from real failures.
        return ERROR_SEM_TIMEOUT;
    case LIBUSB_ERROR_NO_DEVICE:
        return ERROR_DEVICE_NOT_CONNECTED;
    case LIBUSB_ERROR_INVALID_PARAM:
        return ERROR_INVALID_PARAMETER;
    case LIBUSB_ERROR_NOT_FOUND:
        return ERROR_FILE_NOT_FOUND;
    case LIBUSB_ERROR_BUSY:
        return ERROR_BUSY;
    case LIBUSB_ERROR_NO_MEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return ERROR_NOT_SUPPORTED;
    case LIBUSB_ERROR_INTERRUPTED:
        return ERROR_OPERATION_ABORTED;
    // A stall, babble or a failed transaction: WinUSB reports device-side
    // faults as a general failure.
    case LIBUSB_ERROR_IO:
    case LIBUSB_ERROR_PIPE:
    case LIBUSB_ERROR_OVERFLOW:
    case LIBUSB_ERROR_OTHER:
    default:
        return ERROR_GEN_FAILURE;
    }
}

DWORD Win32FromTransferStatus(int status) {
    switch (status) {
    case LIBUSB_TRANSFER_COMPLETED:
        return ERROR_SUCCESS;
    case LIBUSB_TRANSFER_TIMED_OUT:
        return ERROR_SEM_TIMEOUT;
    case LIBUSB_TRANSFER_NO_DEVICE:
        return ERROR_DEVICE_NOT_CONNECTED;
    case LIBUSB_TRANSFER_CANCELLED:
        return ERROR_OPERATION_ABORTED;
    default: // a stall, an overflow, a bus error
        return ERROR_GEN_FAILURE;
    }
}

} // namespace linux_backend
