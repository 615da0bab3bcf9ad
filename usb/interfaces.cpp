#include "usb/interfaces.h"

#include "usb/last_error.h"

namespace {
// The path of interface data into a block of LocalAlloc, given to take.
// S_OK and keepGoing as take said, or the failure.
HRESULT TakePath(HDEVINFO deviceInfo, SP_DEVICE_INTERFACE_DATA& interfaceData,
                 const std::function<bool(const char*)>& take, bool& keepGoing) {
    DWORD requiredSize = 0;
    if (!SetupDiGetDeviceInterfaceDetailA(deviceInfo, &interfaceData, nullptr, 0, &requiredSize,
                                          nullptr) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return LastErrorResult();

    // Never smaller than the fixed part we write below, whatever size the
    // platform reported; a short block then fails the detail call cleanly.
    if (requiredSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        requiredSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    auto* detail =
        static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(LocalAlloc(LMEM_FIXED, requiredSize));
    if (detail == nullptr)
        return E_OUTOFMEMORY;

    // cbSize is the fixed part of the structure, not the block's size: the
    // platform checks it to learn which layout the caller was built with.
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    HRESULT hr = S_OK;
    if (!SetupDiGetDeviceInterfaceDetailA(deviceInfo, &interfaceData, detail, requiredSize, nullptr,
                                          nullptr))
        hr = LastErrorResult();
    else
        keepGoing = take(detail->DevicePath);
    LocalFree(detail);
    return hr;
}
} // namespace

HRESULT ForEachInterface(const GUID& interfaceClass, const std::function<bool(const char*)>& take,
                         unsigned* listed) {
    if (listed != nullptr)
        *listed = 0;
    HDEVINFO deviceInfo = SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr,
                                               DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (deviceInfo == INVALID_HANDLE_VALUE)
        return LastErrorResult();

    HRESULT hr = S_OK;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData = {};
        interfaceData.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
        if (!SetupDiEnumDeviceInterfaces(deviceInfo, nullptr, &interfaceClass, index,
                                         &interfaceData)) {
            // Read before any other call can change it.
            if (GetLastError() != ERROR_NO_MORE_ITEMS)
                hr = LastErrorResult();
            break;
        }
        bool keepGoing = false;
        hr = TakePath(deviceInfo, interfaceData, take, keepGoing);
        if (SUCCEEDED(hr) && listed != nullptr)
            ++*listed;
        if (FAILED(hr) || !keepGoing)
            break;
    }
    SetupDiDestroyDeviceInfoList(deviceInfo);
    return hr;
}
