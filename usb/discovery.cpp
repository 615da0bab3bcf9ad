// Finding the pendant's device path through its device interface class.
#include "usb/discovery.h"

#include "pendant/pendant_device.h"
#include "usb/last_error.h"

HRESULT FindDevicePath(char* path, std::size_t pathLength, BOOL* noDevice) {
    if (noDevice != nullptr)
        *noDevice = FALSE;

    HDEVINFO deviceInfo = SetupDiGetClassDevsA(&PendantInterfaceGuid, nullptr, nullptr,
                                               DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (deviceInfo == INVALID_HANDLE_VALUE)
        return LastErrorResult();

    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    // Only the first pendant enumerated is used.
    if (!SetupDiEnumDeviceInterfaces(deviceInfo, nullptr, &PendantInterfaceGuid, 0,
                                     &interfaceData)) {
        if (GetLastError() == ERROR_NO_MORE_ITEMS && noDevice != nullptr)
            *noDevice = TRUE;
        const HRESULT hr = LastErrorResult();
        SetupDiDestroyDeviceInfoList(deviceInfo);
        return hr;
    }

    DWORD requiredSize = 0;
    if (!SetupDiGetDeviceInterfaceDetailA(deviceInfo, &interfaceData, nullptr, 0, &requiredSize,
                                          nullptr) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        const HRESULT hr = LastErrorResult();
        SetupDiDestroyDeviceInfoList(deviceInfo);
        return hr;
    }

    // Never smaller than the fixed part we write below, whatever size the
    // platform reported; a short block then fails the detail call cleanly.
    if (requiredSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        requiredSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    auto* detail =
        static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(LocalAlloc(LMEM_FIXED, requiredSize));
    if (detail == nullptr) {
        SetupDiDestroyDeviceInfoList(deviceInfo);
        return E_OUTOFMEMORY;
    }

    // cbSize is the fixed part of the structure, not the block's size: the
    // platform checks it to learn which layout the caller was built with.
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    HRESULT hr;
    if (!SetupDiGetDeviceInterfaceDetailA(deviceInfo, &interfaceData, detail, requiredSize, nullptr,
                                          nullptr))
        hr = LastErrorResult();
    else
        hr = StringCbCopyA(path, pathLength, detail->DevicePath);

    LocalFree(detail);
    SetupDiDestroyDeviceInfoList(deviceInfo);
    return hr;
}
