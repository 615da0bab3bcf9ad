// The one record of the tool: what the pendant's display shows, whether the
// display is out of date, and the USB handles and pipes of the open pendant.
#pragma once

#include <cstddef>
#include <cstdint>

#include "usb/winapi.h"

// Device interface class under which the pendant's driver package (or udev
// rule) registers it. Discovery never looks at vendor or product ids.
inline constexpr GUID PendantInterfaceGuid = {
    0x136917CC, 0x8699, 0x43EC, {0xB5, 0xA9, 0x89, 0x26, 0xD7, 0x16, 0x5D, 0xE7}};

inline constexpr std::size_t DisplayPayloadBytes = 42;
inline constexpr std::size_t DisplayReportBytes = 8;
inline constexpr std::size_t DisplayReportCount = 6;
inline constexpr std::size_t DisplayFrameBytes = DisplayReportBytes * DisplayReportCount;
inline constexpr std::size_t InputReportBytes = 64;
// Bytes 0 to 5 of a report are all the tool prints and decodes.
inline constexpr std::size_t InputReportLookedAt = 6;
inline constexpr DWORD ReadTimeoutMs = 30;
inline constexpr std::size_t DevicePathBytes = MAX_PATH;

using DisplayFrame = std::uint8_t[DisplayFrameBytes];

// Writes the integer word and then the fraction word (1/10000 units, bit 15
// the sign), little-endian, to out; returns the 4 bytes written.
int EncodeFixed(float value, std::uint8_t* out);
// Writes the low 16 bits of value, little-endian, to out; returns 2.
int EncodeWord(std::int32_t value, std::uint8_t* out);
// A coordinate as the display payload carries it: value rounded to three
// decimals, then EncodeFixed. Returns 4.
int EncodeCoordinate(float value, std::uint8_t* out);

// Finds the first present device with PendantInterfaceGuid and copies its
// zero-terminated path into path. noDevice, when given, is set to 1 only when
// no such device is present.
HRESULT FindDevicePath(char* path, std::size_t pathLength, BOOL* noDevice);

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

    HRESULT Open(BOOL* noDevice);
    void Close();
    void SurveyEndpoints();
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
    // Bytes asked for by each read. A read ends only on a short packet or a
    // full buffer, so asking for more than a packet would make a pendant
    // whose reports fill their packet wait for several (or the time-out)
    // and lose all but the first: one packet of ReadPipeId is asked for.
    // But where a packet is smaller than the InputReportLookedAt bytes, one
    // report spans packets and a one-packet read would cut it into several:
    // then InputReportBytes, as the original design reads. Recorded by the
    // survey with ReadPipeId.
    ULONG ReadLength;
    // Outcome of the latest read: 0 when a report arrived, else the platform's
    // error (ERROR_SEM_TIMEOUT for a time-out). Lets the loop tell an idle
    // pendant from a vanished one.
    DWORD LastReadError;
};
