#include "pendant/pendant_device.h"

#include <cstring>

PendantDevice::PendantDevice()
    : DisplayDirty(false), CoordSet1{0.0f, 0.0f, 0.0f}, CoordSet2{0.0f, 0.0f, 0.0f},
      DisplayWord{0, 0, 0, 0}, UsbOpen(FALSE), UsbInterface(INVALID_HANDLE_VALUE),
      DeviceFile(INVALID_HANDLE_VALUE), DevicePath{}, DeviceDescriptor{}, ReadPipeId(0),
      WritePipeId(0), PipeInterruptFirst(0), PipeInterruptLast(0), ReadLength(InputReportBytes),
      LastReadError(0), InterfaceClass(0), ReadPacketBytes(0), DeclaredReportBytes(0),
      Trace(true), LastReport{}, LastReportBytes(0), DisplaySendFailures(0), ThroughHid(false),
      ReadEvent(nullptr), ReadOverlapped{}, ReadPending(false), HidReport{}, UsagePage(0),
      FeatureReportBytes(0) {}

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

// Through the named setters, by a switch: gcc 12's bounds check miscompiles
// a table of member pointers indexed at run time.
void PendantDevice::SetCoordinate(int set, int axis, float value) {
    if (axis < 0 || axis > 2)
        return;
    switch (set * 3 + axis) {
    case 3:
        SetCoordSet1Axis1(value);
        break;
    case 4:
        SetCoordSet1Axis2(value);
        break;
    case 5:
        SetCoordSet1Axis3(value);
        break;
    case 6:
        SetCoordSet2Axis1(value);
        break;
    case 7:
        SetCoordSet2Axis2(value);
        break;
    case 8:
        SetCoordSet2Axis3(value);
        break;
    default:
        break;
    }
}

void PendantDevice::SetDisplayWord(int index, std::uint16_t value) {
    switch (index) {
    case 0:
        SetDisplayWord0(value);
        break;
    case 1:
        SetDisplayWord1(value);
        break;
    case 2:
        SetDisplayWord2(value);
        break;
    case 3:
        SetDisplayWord3(value);
        break;
    default:
        break;
    }
}

void PendantDevice::SetDisplay(const protocol::DisplayValues& values) {
    for (int axis = 0; axis < 3; ++axis) {
        SetCoordinate(1, axis, values.CoordSet1[axis]);
        SetCoordinate(2, axis, values.CoordSet2[axis]);
    }
    for (int word = 0; word < 4; ++word)
        SetDisplayWord(word, values.DisplayWord[word]);
}
