#include "bench/fixture.h"

#include <cstdio>
#include <cstdlib>

namespace bench {

void OpenNullPendant(PendantDevice& device) {
    const HRESULT hr = device.Open(nullptr);
    if (FAILED(hr) || !device.UsbOpen || device.ReadPipeId != 0x81) {
        std::fprintf(stderr, "bench: the null pendant did not open (0x%x)\n",
                     static_cast<unsigned>(hr));
        std::abort();
    }
}

} // namespace bench
