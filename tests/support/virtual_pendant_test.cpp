#include "support/virtual_pendant_test.h"

void VirtualPendantTest::OpenQuietly(PendantDevice& device) {
    HRESULT hr = E_OUTOFMEMORY;
    CaptureStdout([&] { hr = device.Open(nullptr); });
    ASSERT_EQ(hr, S_OK);
}
