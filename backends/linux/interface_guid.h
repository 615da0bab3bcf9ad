// The udev counterpart of a driver package's device interface registration:
// a udev rule puts the interface GUIDs of a device into one property, and
// discovery lists the devices whose property names the GUID asked for.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "usb/winapi.h"

namespace linux_backend {

// The device interface class of HID devices, Windows' own: under it
// discovery lists every hidraw node.
inline constexpr GUID HidClassGuid = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// The udev property that carries a device's interface GUIDs.
inline constexpr char InterfaceGuidsProperty[] = "DEVICE_INTERFACE_GUIDS";

// "{01234567-89AB-CDEF-0123-456789ABCDEF}", braces optional, any case.
std::optional<GUID> ParseGuid(std::string_view text);

// The registry spelling: braces, upper-case hexadecimal.
std::string FormatGuid(const GUID& guid);

// True when the property value (GUIDs separated by commas, semicolons or
// blanks) names `guid`. Entries that are not GUIDs are skipped.
bool PropertyListsGuid(std::string_view value, const GUID& guid);

} // namespace linux_backend
