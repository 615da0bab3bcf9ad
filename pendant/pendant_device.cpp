#include "pendant/pendant_device.h"

#include <cstring>

PendantDevice::PendantDevice()
    : DisplayDirty(false), CoordSet1{0.0f, 0.0f, 0.0f}, CoordSet2{0.0f, 0.0f, 0.0f},
      DisplayWord{0, 0, 0, 0}, UsbOpen(FALSE), UsbInterface(INVALID_HANDLE_VALUE),
      DeviceFile(INVALID_HANDLE_VALUE), DevicePath{}, DeviceDescriptor{}, ReadPipeId(0),
      WritePipeId(0), PipeInterruptFirst(0), PipeInterruptLast(0), ReadLength(InputReportBytes),
      LastReadError(0) {}

void PendantDevice::SetCoordSet1Axis1(float value) {
    CoordSet1[0] = value;
    DisplayDirty = true;
}
void PendantDevice::SetCoordSet1Axis2(float value) {
    CoordSet1[1] = value;
    DisplayDirty = true;
}
void PendantDevice::SetCoordSet1Axis3(float value) {
    CoordSet1[2] = value;
    DisplayDirty = true;
}
void PendantDevice::SetCoordSet2Axis1(float value) {
    CoordSet2[0] = value;
    DisplayDirty = true;
}
void PendantDevice::SetCoordSet2Axis2(float value) {
    CoordSet2[1] = value;
    DisplayDirty = true;
}
void PendantDevice::SetCoordSet2Axis3(float value) {
    CoordSet2[2] = value;
    DisplayDirty = true;
}
void PendantDevice::SetDisplayWord0(std::uint16_t value) {
    DisplayWord[0] = value;
    DisplayDirty = true;
}
void PendantDevice::SetDisplayWord1(std::uint16_t value) {
    DisplayWord[1] = value;
    DisplayDirty = true;
}
void PendantDevice::SetDisplayWord2(std::uint16_t value) {
    DisplayWord[2] = value;
    DisplayDirty = true;
}
void PendantDevice::SetDisplayWord3(std::uint16_t value) {
    DisplayWord[3] = value;
    DisplayDirty = true;
}
