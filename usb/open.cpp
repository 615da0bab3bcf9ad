// Opening and closing the pendant: file, WinUSB interface, pipes.
#include "pendant/pendant_device.h"
#include "protocol/report_descriptor.h"
#include "usb/discovery.h"
#include "usb/last_error.h"

namespace {
// The size of one input report as a HID pendant declares it, or 0 when it
// does not say (the request refused, no input report declared).
ULONG DeclaredReportLength(WINUSB_INTERFACE_HANDLE usb) {
    const WINUSB_SETUP_PACKET setup = ToWinUsbSetup(ReportDescriptorSetup);
    UCHAR descriptor[ReportDescriptorReadBytes];
    ULONG transferred = 0;
    if (!WinUsb_ControlTransfer(usb, setup, descriptor, sizeof descriptor, &transferred, nullptr))
        return 0;
    return static_cast<ULONG>(protocol::LargestInputReport(
        descriptor, transferred < sizeof descriptor ? transferred : sizeof descriptor,
        InputReportBytes));
}
} // namespace

HRESULT PendantDevice::Open(BOOL* noDevice) {
    if (ThroughHid)
        return OpenHid(noDevice);
    UsbOpen = FALSE;

    HRESULT hr = FindDevicePath(DevicePath, sizeof DevicePath, noDevice);
    if (FAILED(hr))
        return hr;

    DeviceFile =
        CreateFileA(DevicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (DeviceFile == INVALID_HANDLE_VALUE)
        return LastErrorResult();

    if (!WinUsb_Initialize(DeviceFile, &UsbInterface)) {
        hr = LastErrorResult();
        CloseHandle(DeviceFile);
        DeviceFile = INVALID_HANDLE_VALUE;
        UsbInterface = INVALID_HANDLE_VALUE;
        return hr;
    }
    UsbOpen = TRUE;

    // Past this point nothing makes the open fail: a pendant that answers
    // oddly is still worth driving, and the survey shows what it said.
    ULONG transferred = 0;
    WinUsb_GetDescriptor(UsbInterface, USB_DEVICE_DESCRIPTOR_TYPE, 0, 0,
                         reinterpret_cast<PUCHAR>(&DeviceDescriptor), sizeof DeviceDescriptor,
                         &transferred);
    SurveyEndpoints();
    ULONG timeout = ReadTimeoutMs;
    WinUsb_SetPipePolicy(UsbInterface, ReadPipeId, PIPE_TRANSFER_TIMEOUT, sizeof timeout, &timeout);
    if (InterfaceClass == UsbClassHid)
        if (const ULONG declared = DeclaredReportLength(UsbInterface); declared != 0) {
            ReadLength = declared;
            DeclaredReportBytes = declared;
        }
    return hr;
}

void PendantDevice::Close() {
    if (!UsbOpen)
        return;
    if (ThroughHid) {
        CloseHid();
        return;
    }
    WinUsb_Free(UsbInterface);
    CloseHandle(DeviceFile);
    UsbInterface = INVALID_HANDLE_VALUE;
    DeviceFile = INVALID_HANDLE_VALUE;
    UsbOpen = FALSE;
}
