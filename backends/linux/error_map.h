// How Linux and libusb failures read as the Win32 error codes that the core
// knows from WinUSB, SetupAPI and kernel32.
#pragma once

#include "usb/winapi.h"

namespace linux_backend {

// Codes WinUSB reports that the stand-in header has no name for.
constexpr DWORD kErrorTooManyOpenFiles = 4;
constexpr DWORD kErrorFilenameExcedRange = 206;
constexpr DWORD kErrorOperationAborted = 995;

// An errno value from open(2) and friends.
DWORD Win32FromErrno(int err);
// A negative libusb_error value; 0 (success) maps to ERROR_SUCCESS.
DWORD Win32FromLibusb(int libusbError);

// The outcome of one read of an input pipe: ERROR_SUCCESS when a packet was
// delivered, else the failure. libusb can return its time-out together with
// data: the packet arrived as the time ran out and the transfer was being
// cancelled. That packet is whole (a read takes one) and is delivered, or a
// jog count would be lost.
DWORD ReadOutcome(int libusbResult, int transferred);

} // namespace linux_backend
