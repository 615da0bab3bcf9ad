// Opening and closing a pendant on the system's HID driver, and its survey.
#include <cstdio>

#include "pendant/pendant_device.h"
#include "usb/last_error.h"

HRESULT PendantDevice::OpenHid(BOOL* noDevice) {
    UsbOpen = FALSE;
    HRESULT hr = FindHidPendantPath(DevicePath, sizeof DevicePath, noDevice);
    if (FAILED(hr))
        return hr;

    DeviceFile =
        CreateFileA(DevicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (DeviceFile == INVALID_HANDLE_VALUE)
        return LastErrorResult();
    // Read again on this handle: the figures the survey prints, and a
    // device that changed since it was found is not taken for the pendant.
    HidFigures figures;
    if (!IsHidPendant(DeviceFile, figures)) {
        hr = LastErrorResult();
        CloseHandle(DeviceFile);
        DeviceFile = INVALID_HANDLE_VALUE;
        return hr;
    }
    ReadEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (ReadEvent == nullptr) {
        hr = LastErrorResult();
        CloseHandle(DeviceFile);
        DeviceFile = INVALID_HANDLE_VALUE;
        return hr;
    }
    UsbOpen = TRUE;
    ReadPending = false;
    DeviceDescriptor.idVendor = figures.vendorId;
    DeviceDescriptor.idProduct = figures.productId;
    DeviceDescriptor.bcdDevice = figures.version;
    // The HID driver serves HID interfaces alone.
    InterfaceClass = UsbClassHid;
    UsagePage = figures.usagePage;
    FeatureReportBytes = figures.featureReportBytes;
    // One input report a read, as the driver lays them out.
    ReadLength = figures.inputReportBytes;
    DeclaredReportBytes = figures.inputReportBytes;
    SurveyHid(figures);
    return S_OK;
}

void PendantDevice::CloseHid() {
    if (ReadPending) {
        // The read's buffer and OVERLAPPED are this record's: it must have
        // ended before they may go.
        DWORD transferred = 0;
        CancelIo(DeviceFile);
        GetOverlappedResult(DeviceFile, &ReadOverlapped, &transferred, TRUE);
        ReadPending = false;
    }
    CloseHandle(ReadEvent);
    CloseHandle(DeviceFile);
    ReadEvent = nullptr;
    DeviceFile = INVALID_HANDLE_VALUE;
    UsbOpen = FALSE;
}

void PendantDevice::SurveyHid(const HidFigures& f) {
    // Only what the driver said: the pipes and packets are its own.
    std::printf("\nCreating and sending device query...");
    std::printf("\n#Reached through   : the system's HID driver");
    std::printf("\n#Vendor ID         : 0x%04x", f.vendorId);
    std::printf("\n#Product ID        : 0x%04x", f.productId);
    std::printf("\n#Version           : 0x%04x", f.version);
    std::printf("\n#Usage Page        : 0x%04x", f.usagePage);
    std::printf("\n#Usage             : 0x%04x", f.usage);
    std::printf("\n#Input Report      : %u bytes", f.inputReportBytes);
    std::printf("\n#Feature Report    : %u bytes", f.featureReportBytes);
    std::printf("\nFinished device query.");
}
