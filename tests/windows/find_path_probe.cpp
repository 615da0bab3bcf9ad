// Runs the core's FindDevicePath once against the platform's SetupAPI and
// prints its result, the no-device flag and the path it copied.
#include <cstdio>

#include "pendant/pendant_device.h"
#include "usb/discovery.h"

int main() {
    char path[DevicePathBytes] = "<untouched>";
    BOOL noDevice = 7;
    const HRESULT hr = FindDevicePath(path, sizeof path, &noDevice);
    std::printf("FindDevicePath 0x%08x noDevice %d\n", static_cast<unsigned>(hr),
                static_cast<int>(noDevice));
    std::printf("%s\n", path);
    return 0;
}
