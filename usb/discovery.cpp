// Finding the pendant's device path through its device interface class.
#include "usb/discovery.h"

#include "pendant/pendant_device.h"
#include "usb/interfaces.h"

HRESULT FindDevicePath(char* path, std::size_t pathLength, BOOL* noDevice) {
    if (noDevice != nullptr)
        *noDevice = FALSE;
    // Only the first pendant enumerated is used. The lambda holds one
    // reference, so that taking it costs no allocation.
    struct {
        char* path;
        std::size_t length;
        HRESULT copied = S_OK;
    } out{path, pathLength};
    unsigned listed = 0;
    const HRESULT hr = ForEachInterface(
        PendantInterfaceGuid,
        [&out](const char* found) {
            out.copied = StringCbCopyA(out.path, out.length, found);
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
    return out.copied;
}
