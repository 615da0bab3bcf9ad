// WinUSB on libusb, what the device describes: its descriptors as it gives
// them, its speed, and the interface's settings and pipes from the active
// configuration.
#include <libusb.h>

#include "backends/linux/handles.h"

using namespace linux_backend;

BOOL WINAPI WinUsb_GetDescriptor(WINUSB_INTERFACE_HANDLE InterfaceHandle, UCHAR DescriptorType,
                                 UCHAR Index, USHORT LanguageID, PUCHAR Buffer, ULONG BufferLength,
                                 PULONG LengthTransferred) {
    Step("WinUsb_GetDescriptor");

    auto* usb = As<UsbInterface>(InterfaceHandle, Kind::Usb);
    if (usb == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (Buffer == nullptr || LengthTransferred == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    *LengthTransferred = 0;
    const auto length = static_cast<std::uint16_t>(BufferLength > 0xFFFF ? 0xFFFF : BufferLength);
    const int r = libusb_control_transfer(
        usb->device, 0x80, // device to host, standard request, recipient device
        LIBUSB_REQUEST_GET_DESCRIPTOR, static_cast<std::uint16_t>((DescriptorType << 8) | Index),
        LanguageID, Buffer, length, TimeoutFor(*usb, 0, DefaultControlTimeoutMs));
    if (r < 0)
        return FailLibusb(r);
    *LengthTransferred = static_cast<ULONG>(r);
    return TRUE;
}

BOOL WINAPI WinUsb_QueryDeviceInformation(WINUSB_INTERFACE_HANDLE InterfaceHandle,
                                          ULONG InformationType, PULONG BufferLength,
                                          PVOID Buffer) {
    Step("WinUsb_QueryDeviceInformation");

    auto* usb = As<UsbInterface>(InterfaceHandle, Kind::Usb);
    if (usb == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (InformationType != DEVICE_SPEED || BufferLength == nullptr || Buffer == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    if (*BufferLength < 1)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    UCHAR speed = 0;
    switch (libusb_get_device_speed(libusb_get_device(usb->device))) {
    case LIBUSB_SPEED_LOW:
        speed = LowSpeed;
        break;
    case LIBUSB_SPEED_FULL:
        speed = FullSpeed;
        break;
    case LIBUSB_SPEED_UNKNOWN:
        // usbfs did not say: no guess.
        return Fail(ERROR_NOT_SUPPORTED);
    default:
        speed = HighSpeed; // high and faster, as Windows says
        break;
    }
    *static_cast<UCHAR*>(Buffer) = speed;
    *BufferLength = 1;
    return TRUE;
}

BOOL WINAPI WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE InterfaceHandle,
                                          UCHAR AlternateInterfaceNumber,
                                          PUSB_INTERFACE_DESCRIPTOR UsbAltInterfaceDescriptor) {
    Step("WinUsb_QueryInterfaceSettings");

    auto* usb = As<UsbInterface>(InterfaceHandle, Kind::Usb);
    if (usb == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (UsbAltInterfaceDescriptor == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    const libusb_interface_descriptor* alt = AltSetting(*usb, AlternateInterfaceNumber);
    if (alt == nullptr)
        return Fail(ERROR_NO_MORE_ITEMS);
    USB_INTERFACE_DESCRIPTOR& d = *UsbAltInterfaceDescriptor;
    d.bLength = alt->bLength;
    d.bDescriptorType = alt->bDescriptorType;
    d.bInterfaceNumber = alt->bInterfaceNumber;
    d.bAlternateSetting = alt->bAlternateSetting;
    d.bNumEndpoints = alt->bNumEndpoints;
    d.bInterfaceClass = alt->bInterfaceClass;
    d.bInterfaceSubClass = alt->bInterfaceSubClass;
    d.bInterfaceProtocol = alt->bInterfaceProtocol;
    d.iInterface = alt->iInterface;
    return TRUE;
}

BOOL WINAPI WinUsb_QueryPipe(WINUSB_INTERFACE_HANDLE InterfaceHandle,
                             UCHAR AlternateInterfaceNumber, UCHAR PipeIndex,
                             PWINUSB_PIPE_INFORMATION PipeInformation) {
    Step("WinUsb_QueryPipe");

    auto* usb = As<UsbInterface>(InterfaceHandle, Kind::Usb);
    if (usb == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (PipeInformation == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    const libusb_interface_descriptor* alt = AltSetting(*usb, AlternateInterfaceNumber);
    if (alt == nullptr || PipeIndex >= alt->bNumEndpoints)
        return Fail(ERROR_NO_MORE_ITEMS);
    const libusb_endpoint_descriptor& ep = alt->endpoint[PipeIndex];
    PipeInformation->PipeType = static_cast<USBD_PIPE_TYPE>(ep.bmAttributes & 0x03);
    PipeInformation->PipeId = ep.bEndpointAddress;
    // Bits 11-12 count extra high-bandwidth transactions, not bytes.
    PipeInformation->MaximumPacketSize = static_cast<USHORT>(ep.wMaxPacketSize & 0x07FF);
    PipeInformation->Interval = ep.bInterval;
    return TRUE;
}
