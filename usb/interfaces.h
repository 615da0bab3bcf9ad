// The present devices of a device interface class, one path after another:
// how the pendant is found under its own GUID and among HID devices, and how
// --list lists them.
#pragma once

#include <functional>

#include "usb/winapi.h"

// Gives take the zero-terminated path of each present interface of the
// class, in the platform's order, until take returns false. S_OK when the
// list ended or take stopped it; else the HRESULT of the call that failed
// (the paths given before it stand). listed, when given, counts the paths
// given.
HRESULT ForEachInterface(const GUID& interfaceClass, const std::function<bool(const char*)>& take,
                         unsigned* listed = nullptr);
