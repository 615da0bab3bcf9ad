// How Linux and libusb failures read as the Win32 error codes that the core
// knows from WinUSB, SetupAPI and kernel32.
#pragma once

#include "usb/winapi.h"

namespace linux_backend {

// An errno value from open(2) and friends.
DWORD Win32FromErrno(int err);
// An errno value from an ioctl on a hidraw node (a feature report, the
// device's ids): a device that went is not connected; one that refused or
// never answered the request failed, never a time-out (which the core
// reads as an idle read).
DWORD Win32FromHidErrno(int err);
// A negative libusb_error value; 0 (success) maps to ERROR_SUCCESS.
DWORD Win32FromLibusb(int libusbError);

// The status of a finished libusb transfer (enum libusb_transfer_status).
DWORD Win32FromTransferStatus(int status);

} // namespace linux_backend
