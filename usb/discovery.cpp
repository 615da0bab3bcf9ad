// Finding the pendant's device path through its device interface class.
#include "usb/discovery.h"

#include "pendant/pendant_device.h"
#include "usb/interfaces.h"

HRESULT FindDevicePath(char* path, std::size_t pathLength, BOOL* noDevice) {
    if (noDevice != nullptr)
        *noDevice = FALSE;
    // Only the first pendant enumerated is used.
    HRESULT copied = S_OK;
    unsigned listed = 0;
    const HRESULT hr = ForEachInterface(
        PendantInterfaceGuid,
        [&](const char* found) {
            copied = StringCbCopyA(path, pathLength, found);
            return false;
        },
        &listed);
    if (FAILED(hr))
        return hr;
    if (listed == 0) {
        if (noDevice != nullptr)
            *noDevice = TRUE;
        return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
    }
    return copied;
}
