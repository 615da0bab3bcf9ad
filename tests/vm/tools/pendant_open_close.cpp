// Opens the pendant exactly as pendant-test does, then closes it again: the
// one way to see, in the guest, that closing gives the interface back to the
// kernel driver (pendant-test itself never closes; it is killed).
//   pendant-open-close [SECONDS]   hold the pendant open that long first
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "pendant/pendant_device.h"

int main(int argc, char** argv) {
    PendantDevice device;
    BOOL noDevice = FALSE;
    const HRESULT r = device.Open(&noDevice);
    std::printf("\nOPEN 0x%x\n", static_cast<unsigned>(r));
    std::fflush(stdout);
    if (FAILED(r))
        return 1;
    if (argc > 1)
        sleep(static_cast<unsigned>(std::atoi(argv[1])));
    device.Close();
    std::printf("CLOSED\n");
    return 0;
}
