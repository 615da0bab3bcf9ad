#include "app/opening.h"

#include <cstdio>

#include "pendant/pendant_device.h"
#include "usb/platform_advice.h"

Opening OpenPendant(PendantDevice& device, SayWhy say) {
    Opening o;
    o.result = device.Open(&o.noDevice);
    std::fflush(stdout);
    if (o.Opened() || say == SayWhy::Nothing)
        return o;
    if (o.noDevice)
        std::printf("Device not connected or driver not installed\n");
    else
        std::printf("Failed looking for device, HRESULT 0x%x\n", static_cast<unsigned>(o.result));
    if (say == SayWhy::Closing)
        std::printf("nothing to do...\n");
    std::fflush(stdout);
    PrintPlatformAdvice();
    // A HID device is shared unless another program took it for itself.
    if (device.ThroughHid && (o.result == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION) ||
                              o.result == HRESULT_FROM_WIN32(ERROR_BUSY)))
        std::fprintf(stderr, "pendant-test: another program holds the pendant for itself; "
                             "close it, or let it share the pendant, and try again\n");
    // A pendant straight out of the box sits on the system's HID driver,
    // where the GUID does not reach: say what does.
    if (o.noDevice && !device.ThroughHid) {
        char path[DevicePathBytes];
        if (SUCCEEDED(FindHidPendantPath(path, sizeof path, nullptr)))
            std::fprintf(stderr, "pendant-test: a pendant is on the system's HID driver; "
                                 "pendant-test --hid reaches it\n");
    }
    return o;
}
