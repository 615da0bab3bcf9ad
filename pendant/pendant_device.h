// The one record of the tool: what the pendant's display shows, whether the
// display is out of date, and the USB handles and pipes of the open pendant.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/display.h"
#include "usb/hid.h"
#include "usb/winapi.h"

inline constexpr DWORD ReadTimeoutMs = 30;
inline constexpr std::size_t DevicePathBytes = MAX_PATH;

using DisplayFrame = std::uint8_t[DisplayFrameBytes];

// A setup packet of the wire format as the platform takes it.
inline WINUSB_SETUP_PACKET ToWinUsbSetup(const SetupPacket& s) {
    WINUSB_SETUP_PACKET setup;
    setup.RequestType = s.RequestType;
    setup.Request = s.Request;
    setup.Value = s.Value;
    setup.Index = s.Index;
    setup.Length = s.Length;
    return setup;
}

struct PendantDevice {
    PendantDevice();
    ~PendantDevice() = default;
    PendantDevice(const PendantDevice&) = delete;
    PendantDevice& operator=(const PendantDevice&) = delete;

    // Display setters: each stores its value as is and marks the display
    // dirty, even when the value did not change.
    void SetCoordSet1Axis1(float value);
    void SetCoordSet1Axis2(float value);
    void SetCoordSet1Axis3(float value);
    void SetCoordSet2Axis1(float value);
    void SetCoordSet2Axis2(float value);
    void SetCoordSet2Axis3(float value);
    void SetDisplayWord0(std::uint16_t value);
    void SetDisplayWord1(std::uint16_t value);
    void SetDisplayWord2(std::uint16_t value);
    void SetDisplayWord3(std::uint16_t value);
    // The same by index, for callers that hold the set, axis or word as a
    // number: set 1 or 2, axis 0..2, word 0..3. Out of range does nothing.
    void SetCoordinate(int set, int axis, float value);
    void SetDisplayWord(int index, std::uint16_t value);
    // All ten at once, through the setters above (so the display is marked
    // dirty, as by each of them).
    void SetDisplay(const protocol::DisplayValues& values);

    HRESULT Open(BOOL* noDevice);
    void Close();
    void SurveyEndpoints();
    // The HID path's opening, closing and survey (usb/hid_open.cpp); Open
    // and Close take them when ThroughHid is set.
    HRESULT OpenHid(BOOL* noDevice);
    void CloseHid();
    void SurveyHid(const HidFigures& figures);
    void BuildDisplayFrame(DisplayFrame frame) const;
    void SendDisplay();
    std::int32_t ReadInput();

    bool DisplayDirty;
    float CoordSet1[3];
    float CoordSet2[3];
    std::uint16_t DisplayWord[4];
    BOOL UsbOpen;
    WINUSB_INTERFACE_HANDLE UsbInterface;
    HANDLE DeviceFile;
    char DevicePath[DevicePathBytes];
    USB_DEVICE_DESCRIPTOR DeviceDescriptor;
    UCHAR ReadPipeId;
    UCHAR WritePipeId;
    UCHAR PipeInterruptFirst;
    UCHAR PipeInterruptLast;
    // Bytes asked for by each read: exactly one input report. A read ends
    // only on a short packet or a full buffer, so asking for more than a
    // report would make a pendant whose reports fill their packet wait for
    // several (or the time-out) and lose all but the first, and asking for
    // less would cut a report longer than a packet into several. So it is
    // the largest input report the pendant's HID report descriptor declares
    // (read at the end of opening). Without one (not HID, the request
    // refused, no input report): one packet of ReadPipeId where a packet
    // holds the InputReportLookedAt bytes, else InputReportBytes, as the
    // survey records it.
    ULONG ReadLength;
    // Outcome of the latest read: 0 when a report arrived, else the platform's
    // error (ERROR_SEM_TIMEOUT for a time-out). Lets the loop tell an idle
    // pendant from a vanished one.
    DWORD LastReadError;
    // bInterfaceClass of interface 0 as the survey saw it (0 when the query
    // failed): only a HID interface is asked for a report descriptor.
    UCHAR InterfaceClass;
    // Bytes per packet of ReadPipeId as the survey saw it (0: no read pipe).
    USHORT ReadPacketBytes;
    // The largest input report the HID report descriptor declares, with its
    // id byte; 0 when the pendant declared none (not HID, the request
    // refused, no input report).
    ULONG DeclaredReportBytes;
    // Whether a report prints its trace line (the check judges reports
    // instead of showing their bytes).
    bool Trace;
    // The latest report read: its first bytes (zeros beyond what it
    // delivered) and how many bytes it had. Set by every read that delivers
    // one; left alone by reads that do not.
    UCHAR LastReport[8];
    ULONG LastReportBytes;
    // Display reports the pendant refused since opening (SendDisplay does
    // not retry; the check tells a refused display from a shown one).
    unsigned DisplaySendFailures;

    // Reach the pendant through the system's own HID driver (pendant-test
    // --hid) rather than WinUSB: set before Open. DeviceFile is then the
    // HID device, and UsbInterface stays invalid.
    bool ThroughHid;
    // The HID path's read: the event its end sets, and the read under way.
    // A read that has not ended by the time-out is left under way for the
    // next turn rather than cancelled, so no report is lost between two.
    HANDLE ReadEvent;
    OVERLAPPED ReadOverlapped;
    bool ReadPending;
    UCHAR HidReport[InputReportBytes];
    // What the HID driver says of the pendant's reports (the HID path).
    USAGE UsagePage;
    USHORT FeatureReportBytes;
};
