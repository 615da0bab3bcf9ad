// The one door from the core to the platform. The core calls SetupAPI,
// kernel32, WinUSB and hid.dll by their own names; on Windows those are the real
// system headers and libraries, elsewhere a stand-in header with the same
// names and types whose functions one backend supplies at link time.
#pragma once

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <winusb.h>
#include <usb100.h>
// hid.dll's headers declare C functions without saying so to C++.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}
#include <strsafe.h>
// clang-format on
#else
#include "usb/standin/winapi_standin.h"
#endif
