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
    return o;
}
