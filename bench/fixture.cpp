#include "bench/fixture.h"

#include <cstdio>
#include <cstdlib>

namespace bench {

void OpenNullPendant(PendantDevice& device, bool hid) {
    device.ThroughHid = hid;
    const HRESULT hr = device.Open(nullptr);
    if (FAILED(hr) || !device.UsbOpen ||
        (hid ? device.ReadLength != 8 : device.ReadPipeId != 0x81)) {
        std::fprintf(stderr, "bench: the null pendant did not open (0x%x)\n",
                     static_cast<unsigned>(hr));
        std::abort();
    }
}

} // namespace bench
