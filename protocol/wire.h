// The pendant's wire format, written once: the display payload and frame,
// the SET_REPORT that carries it, the input report and its jog count, the
// device interface GUID. Plain numbers and byte arithmetic: no platform, no
// I/O, so the tool, the virtual pendant, pendant-gadget, the fuzzers and the
// benchmarks all agree by construction.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// ---- Little-endian words: every multi-byte value on the wire ---------------
inline constexpr void PutLe16(std::uint8_t* out, std::uint16_t word) {
    out[0] = static_cast<std::uint8_t>(word & 0xFF);
    out[1] = static_cast<std::uint8_t>(word >> 8);
}
inline constexpr std::uint16_t GetLe16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

// ---- The device interface class ---------------------------------------------
// Under it the pendant's driver package (or udev rule) registers the
// pendant; discovery never looks at vendor or product ids. The platform's
// GUID type is made from these parts where the platform is reached.
struct InterfaceGuidParts {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
inline constexpr InterfaceGuidParts PendantInterfaceGuidParts = {
    0x136917CC, 0x8699, 0x43EC, {0xB5, 0xA9, 0x89, 0x26, 0xD7, 0x16, 0x5D, 0xE7}};
// The platform's GUID (any type of its layout: Data1, Data2, Data3,
// Data4[8]) made of the parts, so that it is written once, here.
template <class Guid> inline constexpr Guid GuidOfParts(const InterfaceGuidParts& p) {
    return Guid{p.Data1,
                p.Data2,
                p.Data3,
                {p.Data4[0], p.Data4[1], p.Data4[2], p.Data4[3], p.Data4[4], p.Data4[5], p.Data4[6],
                 p.Data4[7]}};
}

// ---- The display payload and frame -------------------------------------------
inline constexpr std::size_t DisplayPayloadBytes = 42;
inline constexpr std::size_t DisplayReportBytes = 8;
inline constexpr std::size_t DisplayReportCount = 6;
inline constexpr std::size_t DisplayFrameBytes = DisplayReportBytes * DisplayReportCount;
// Payload bytes each report carries after its id.
inline constexpr std::size_t DisplayReportPayloadBytes = DisplayReportBytes - 1;
inline constexpr std::uint8_t DisplayReportId = 0x06;

// Payload offsets and constants.
inline constexpr std::uint16_t PayloadHeaderWord = 0xFDFE; // bytes FE FD at offset 0
inline constexpr std::uint8_t PayloadHeaderByte = 0x0F;    // offset 2
inline constexpr std::size_t PayloadHeaderBytes = 3;
inline constexpr std::size_t PayloadCoordinateOffset = 3; // six coordinates of 4 bytes
inline constexpr std::size_t PayloadCoordinateBytes = 4;
inline constexpr std::size_t PayloadWordOffset = 27; // four words of 2 bytes
inline constexpr std::size_t PayloadTrailerOffset = 35;
inline constexpr std::uint16_t PayloadTrailerWord = 0x0208;
inline constexpr std::size_t PayloadZeroOffset = 37; // offsets 37 to 41 stay zero

// Fixed-point coordinate: integer word, then a fraction word whose low 15
// bits count ten-thousandths and whose bit 15 is the sign (no two's
// complement).
inline constexpr std::uint16_t FractionSignBit = 0x8000;
inline constexpr std::uint16_t FractionMagnitudeMask = 0x7FFF;
inline constexpr std::uint16_t FractionUnitsPerWhole = 10000;

// The payload's first bytes as a report carries them, and the whole last
// report of every frame (payload bytes 35 to 41 are all constants).
inline constexpr std::array<std::uint8_t, PayloadHeaderBytes> PayloadStartBytes = {
    static_cast<std::uint8_t>(PayloadHeaderWord & 0xFF),
    static_cast<std::uint8_t>(PayloadHeaderWord >> 8), PayloadHeaderByte};
inline constexpr std::array<std::uint8_t, DisplayReportBytes> FrameLastReport = {
    DisplayReportId,
    static_cast<std::uint8_t>(PayloadTrailerWord & 0xFF),
    static_cast<std::uint8_t>(PayloadTrailerWord >> 8),
    0,
    0,
    0,
    0,
    0};

// ---- The SET_REPORT request of every display report --------------------------
// HID class request to interface 0: feature report (type 3) with id 6, one
// 8-byte report. On the wire: 21 09 06 03 00 00 08 00.
struct SetupPacket {
    std::uint8_t RequestType;
    std::uint8_t Request;
    std::uint16_t Value;
    std::uint16_t Index;
    std::uint16_t Length;
};
inline constexpr std::uint8_t HidRequestTypeClassInterfaceOut = 0x21; // host to device
inline constexpr std::uint8_t HidRequestTypeClassInterfaceIn = 0xA1;  // device to host
inline constexpr std::uint8_t HidGetReport = 0x01;
inline constexpr std::uint8_t HidGetIdle = 0x02;
inline constexpr std::uint8_t HidGetProtocol = 0x03;
inline constexpr std::uint8_t HidSetReport = 0x09;
inline constexpr std::uint8_t HidSetIdle = 0x0A;
inline constexpr std::uint8_t HidSetProtocol = 0x0B;
inline constexpr std::uint8_t HidReportTypeInput = 1;
inline constexpr std::uint8_t HidReportTypeOutput = 2;
inline constexpr std::uint8_t HidReportTypeFeature = 3;
// GET_DESCRIPTOR types of the HID class (high byte of wValue).
inline constexpr std::uint8_t HidDescriptorType = 0x21;
inline constexpr std::uint8_t HidReportDescriptorType = 0x22;

inline constexpr SetupPacket DisplaySetup = {
    HidRequestTypeClassInterfaceOut, HidSetReport,
    static_cast<std::uint16_t>((HidReportTypeFeature << 8) | DisplayReportId), 0x0000,
    static_cast<std::uint16_t>(DisplayReportBytes)};

// The setup packet as its eight bytes go on the wire.
inline constexpr std::array<std::uint8_t, 8> SetupBytes(const SetupPacket& s) {
    return {s.RequestType,
            s.Request,
            static_cast<std::uint8_t>(s.Value & 0xFF),
            static_cast<std::uint8_t>(s.Value >> 8),
            static_cast<std::uint8_t>(s.Index & 0xFF),
            static_cast<std::uint8_t>(s.Index >> 8),
            static_cast<std::uint8_t>(s.Length & 0xFF),
            static_cast<std::uint8_t>(s.Length >> 8)};
}
inline constexpr std::array<std::uint8_t, 8> DisplaySetupBytes = SetupBytes(DisplaySetup);

// ---- The input report -----------------------------------------------------------
// The most one read asks for, and the bytes the tool prints and decodes.
inline constexpr std::size_t InputReportBytes = 64;
inline constexpr std::size_t InputReportLookedAt = 6;
inline constexpr std::size_t AxisCodeByte = 3;
inline constexpr std::size_t JogDeltaByte = 4;
// Axis codes 0x11..0x13 select axes 1 to 3; anything else selects none.
inline constexpr std::uint8_t AxisCodeFirst = 0x11;
inline constexpr std::uint8_t AxisCodeLast = 0x13;
inline constexpr std::uint8_t AxisCodeNone = 0x00;
// Counts of -31..-1 and +1..+31 move the axis; the rest of the byte is
// ignored.
inline constexpr int JogMaxCount = 31;
// The wheel's report as pendants send it: 04 00 00 AXIS COUNT 00 00 00.
inline constexpr std::uint8_t WheelReportId = 0x04;
inline constexpr std::size_t WheelReportBytes = 8;

// The axis index 0..2 an axis code selects, or -1.
inline constexpr int AxisIndexOf(std::uint8_t axisCode) {
    return axisCode >= AxisCodeFirst && axisCode <= AxisCodeLast ? axisCode - AxisCodeFirst : -1;
}
// The axis code of axis 1..3, or AxisCodeNone for 0 (no axis selected).
inline constexpr std::uint8_t AxisCodeOf(int axis) {
    return axis >= 1 && axis <= 3 ? static_cast<std::uint8_t>(AxisCodeFirst + axis - 1)
                                  : AxisCodeNone;
}
// The count a jog byte moves by: +1..+31, -31..-1, or 0 when it is ignored.
inline constexpr int DecodeJog(std::uint8_t delta) {
    if (delta >= 1 && delta <= JogMaxCount)
        return delta;
    if (delta >= 256 - JogMaxCount)
        return static_cast<int>(delta) - 256;
    return 0;
}
// The jog byte of a count, as a signed byte (any count; only -31..31 move).
inline constexpr std::uint8_t EncodeJog(int count) {
    return static_cast<std::uint8_t>(count & 0xFF);
}
// The wheel's report for `count` on axis 1..3 (0: none selected).
inline constexpr std::array<std::uint8_t, WheelReportBytes> WheelReport(int axis, int count) {
    std::array<std::uint8_t, WheelReportBytes> report{};
    report[0] = WheelReportId;
    report[AxisCodeByte] = AxisCodeOf(axis);
    report[JogDeltaByte] = EncodeJog(count);
    return report;
}

// ---- The HID report descriptor ----------------------------------------------------
// Asked for at the end of opening with a standard GET_DESCRIPTOR to
// interface 0, so that each read asks for exactly one input report.
inline constexpr std::uint8_t UsbClassHid = 0x03;
inline constexpr std::uint8_t StandardRequestTypeInterfaceIn = 0x81; // device to host
inline constexpr std::uint8_t UsbGetDescriptor = 0x06;
// Room for the descriptor: pendants declare a few dozen bytes.
inline constexpr std::uint16_t ReportDescriptorReadBytes = 1024;
// The longest report descriptor hosts read (Linux's HID core takes no more).
inline constexpr std::uint16_t ReportDescriptorMaxBytes = 4096;
inline constexpr SetupPacket ReportDescriptorSetup = {
    StandardRequestTypeInterfaceIn, UsbGetDescriptor,
    static_cast<std::uint16_t>(HidReportDescriptorType << 8), 0x0000, ReportDescriptorReadBytes};
// The pendant's input report as its descriptor declares it (report id 4 and
// the data bytes after it) and its display feature report (id 6, seven
// bytes), so the descriptor and what is sent agree.
inline constexpr std::size_t DefaultInputReportBytes = WheelReportBytes;

// ---- The zero-length packet ---------------------------------------------------------
// Whether one follows a report that fills its last packet: after a report
// longer than one packet (a host reading more than a packet could not
// otherwise tell where it ends), after every such report (as the kernel's
// HID gadget function does), or never.
enum class ZeroLengthPacket { AfterSpanningReports, Always, Never };

inline constexpr bool ZeroLengthPacketFollows(ZeroLengthPacket rule, std::size_t reportBytes,
                                              std::size_t packetSize) {
    const bool fillsLast = packetSize != 0 && reportBytes % packetSize == 0 && reportBytes != 0;
    switch (rule) {
    case ZeroLengthPacket::Always:
        return fillsLast;
    case ZeroLengthPacket::Never:
        return false;
    case ZeroLengthPacket::AfterSpanningReports:
        return fillsLast && reportBytes > packetSize;
    }
    return false;
}
