// The six SET_REPORT transfers that carry the display to the pendant.
#include "pendant/pendant_device.h"

void PendantDevice::BuildDisplayFrame(DisplayFrame frame) const {
    protocol::BuildFrame(CoordSet1, CoordSet2, DisplayWord, frame);
}

void PendantDevice::SendDisplay() {
    if (!DisplayDirty)
        return;
    DisplayFrame frame;
    BuildDisplayFrame(frame);

    // HID SET_REPORT, feature report 6, to interface 0; through the HID
    // driver, the same report as the driver sends it.
    const WINUSB_SETUP_PACKET setup = ToWinUsbSetup(DisplaySetup);
    for (std::size_t n = 0; n < DisplayReportCount; ++n) {
        UCHAR* report = frame + n * DisplayReportBytes;
        ULONG transferred = 0;
        // Fire and forget: a frame the pendant missed is sent again with the
        // next change; retrying here would stall the jog loop.
        const BOOL sent =
            ThroughHid ? HidD_SetFeature(DeviceFile, report, static_cast<ULONG>(DisplayReportBytes))
                       : WinUsb_ControlTransfer(UsbInterface, setup, report,
                                                static_cast<ULONG>(DisplayReportBytes),
                                                &transferred, nullptr);
        if (!sent)
            ++DisplaySendFailures;
    }
    DisplayDirty = false;
}
