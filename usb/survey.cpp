// The interface and endpoint report, and the choice of the read pipe.
#include <cstdio>

#include "pendant/pendant_device.h"

namespace {
// How much each read asks for (see PendantDevice::ReadLength): one packet
// when a packet holds the bytes the tool looks at, so that reports filling
// their packet each end a read; the whole buffer when packets are smaller,
// so that a report spanning packets arrives whole; never more than the
// buffer.
ULONG ReadLengthFor(USHORT maxPacket) {
    if (maxPacket >= InputReportLookedAt && maxPacket < InputReportBytes)
        return maxPacket;
    return static_cast<ULONG>(InputReportBytes);
}
} // namespace

void PendantDevice::SurveyEndpoints() {
    std::printf("\nCreating and sending device query...");

    USB_INTERFACE_DESCRIPTOR iface = {};
    if (!WinUsb_QueryInterfaceSettings(UsbInterface, 0, &iface)) {
        std::printf(" Error.\n    USB Interface query failed.\n");
        return;
    }
    InterfaceClass = iface.bInterfaceClass;
    std::printf("\n#Descriptor type   : %d", iface.bDescriptorType);
    std::printf("\n#Interface Class   : %d", iface.bInterfaceClass);
    std::printf("\n#Interface Number  : %d", iface.bInterfaceNumber);
    std::printf("\n#Interface Protocol: %d", iface.bInterfaceProtocol);
    std::printf("\n#Interface SubClass: %d", iface.bInterfaceSubClass);
    std::printf("\n#iInterface        : %d", iface.iInterface);
    std::printf("\n#Endpoints Found   : %d", iface.bNumEndpoints);
    std::printf("\nFinished device query.");
    std::printf("\n\nCreating and sending endpoint queries...");

    for (int i = 0; i < iface.bNumEndpoints; ++i) {
        WINUSB_PIPE_INFORMATION pipe = {};
        if (!WinUsb_QueryPipe(UsbInterface, 0, static_cast<UCHAR>(i), &pipe))
            continue;
        const UCHAR p = pipe.PipeId;
        switch (pipe.PipeType) {
        case UsbdPipeTypeControl:
            std::printf("\n    Endpoint %d:\n      Type: Control\n      PipeID: %d", i, p);
            break;
        case UsbdPipeTypeIsochronous:
            std::printf("\n    Endpoint %d:\n      Type: Isochronous\n      PipeID: %d", i, p);
            break;
        case UsbdPipeTypeBulk:
            if (p & USB_ENDPOINT_DIRECTION_MASK) {
                std::printf("\n    Endpoint %d:\n      Type: Bulk-In\n      PipeID: %c", i, p);
                ReadPipeId = p;
                ReadLength = ReadLengthFor(pipe.MaximumPacketSize);
                ReadPacketBytes = pipe.MaximumPacketSize;
            } else {
                std::printf("\n    Endpoint %d:\n      Type: Bulk-Out\n      PipeID: %c", i, p);
                WritePipeId = p;
            }
            break;
        case UsbdPipeTypeInterrupt:
            std::printf("\n    Endpoint %d:\n      Type: Interrupt\n      PipeID: %d", i, p);
            // The pendant reads and writes through its interrupt pipe
            // whatever its direction bit says.
            ReadPipeId = p;
            ReadLength = ReadLengthFor(pipe.MaximumPacketSize);
            ReadPacketBytes = pipe.MaximumPacketSize;
            WritePipeId = p;
            if (PipeInterruptFirst == 0) {
                PipeInterruptFirst = p;
                std::printf("\n      PipeInterruptFirst set to this pipe.");
            } else {
                PipeInterruptLast = p;
                std::printf("\n      PipeInterruptLast set to this pipe.");
            }
            break;
        default:
            break;
        }
        std::printf("\n      MaxPacket: %d", pipe.MaximumPacketSize);
    }
    std::printf("\nEndpoint query complete.");
}
