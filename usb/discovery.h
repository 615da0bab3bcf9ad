// Discovery of the pendant by its device interface class.
#pragma once

#include <cstddef>

#include "protocol/wire.h"
#include "usb/winapi.h"

// The platform's GUID of the interface class the pendant is registered under.
inline constexpr GUID PendantInterfaceGuid = GuidOfParts<GUID>(PendantInterfaceGuidParts);

// Finds the first present device with PendantInterfaceGuid and copies its
// zero-terminated path into path. noDevice, when given, is set to 1 only when
// no such device is present.
HRESULT FindDevicePath(char* path, std::size_t pathLength, BOOL* noDevice);
