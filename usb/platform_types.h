// The platform's calls by name and a device's pipes, as plain types: for
// what describes a device or a failure without calling the platform (the
// virtual pendant, and the script language shared with pendant-gadget,
// which links no backend).
#pragma once

#include "usb/winapi.h"

// Every platform function, by the platform's own name.
enum class PlatformCall {
#define PLATFORM_CALL(result, name, parameters) name,
#include "usb/standin/platform_calls.inc"
#undef PLATFORM_CALL
};
inline constexpr PlatformCall AllPlatformCalls[] = {
#define PLATFORM_CALL(result, name, parameters) PlatformCall::name,
#include "usb/standin/platform_calls.inc"
#undef PLATFORM_CALL
};

// One pipe of the interface, as WinUsb_QueryPipe reports it.
struct PipeDescription {
    USBD_PIPE_TYPE type;
    UCHAR id;
    USHORT maxPacket;
    UCHAR interval = 1; // bInterval, as the endpoint descriptor gives it
};

// The device interface class of HID devices, as HidD_GetHidGuid gives it:
// what the backends other than Windows list a HID device under.
inline constexpr GUID HidInterfaceClassGuid = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
