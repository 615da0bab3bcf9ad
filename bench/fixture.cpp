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

void SetBusyDisplay(PendantDevice& device) {
    device.SetCoordSet1Axis1(BusyCoordinates[0]);
    device.SetCoordSet1Axis2(BusyCoordinates[1]);
    device.SetCoordSet1Axis3(BusyCoordinates[2]);
    device.SetCoordSet2Axis1(BusyCoordinates[3]);
    device.SetCoordSet2Axis2(BusyCoordinates[4]);
    device.SetCoordSet2Axis3(BusyCoordinates[5]);
    device.SetDisplayWord0(100);
    device.SetDisplayWord1(200);
    device.SetDisplayWord2(3000);
    device.SetDisplayWord3(12000);
}

} // namespace bench
