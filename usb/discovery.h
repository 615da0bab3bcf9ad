// Discovery of the pendant by its device interface class.
#pragma once

#include <cstddef>

#include "protocol/wire.h"
#include "usb/winapi.h"

// The platform's GUID of the interface class the pendant is registered under.
inline constexpr GUID PendantInterfaceGuid = {
    PendantInterfaceGuidParts.Data1,
    PendantInterfaceGuidParts.Data2,
    PendantInterfaceGuidParts.Data3,
    {PendantInterfaceGuidParts.Data4[0], PendantInterfaceGuidParts.Data4[1],
     PendantInterfaceGuidParts.Data4[2], PendantInterfaceGuidParts.Data4[3],
     PendantInterfaceGuidParts.Data4[4], PendantInterfaceGuidParts.Data4[5],
     PendantInterfaceGuidParts.Data4[6], PendantInterfaceGuidParts.Data4[7]}};

// Finds the first present device with PendantInterfaceGuid and copies its
// zero-terminated path into path. noDevice, when given, is set to 1 only when
// no such device is present.
HRESULT FindDevicePath(char* path, std::size_t pathLength, BOOL* noDevice);
