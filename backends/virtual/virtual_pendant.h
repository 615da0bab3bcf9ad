// The virtual pendant: an in-process backend for the platform facade. A test
// or a program describes the device, queues what the pendant sends, injects
// failures, and reads back every platform call and every decoded frame.
// Time is virtual by default: a read that times out advances the clock by
// the pipe's time-out and Sleep advances it by its argument, so nothing here
// waits. SetRealTime makes both really wait, for a person at the keyboard.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/display.h"
#include "protocol/guid.h"
#include "protocol/report_descriptor.h"
#include "usb/platform_types.h"
#include "usb/winapi.h"

namespace virtual_pendant {

// Every platform function, by the platform's own name.
using Call = PlatformCall;
inline constexpr const auto& AllCalls = AllPlatformCalls;
const char* CallName(Call call);

// One platform call as it was made. args holds the scalar arguments in the
// platform's order (pointers as 0 or 1 for "given"); bytes holds what the
// call carried: the setup packet and data of a control transfer, the bytes a
// read delivered, the path handed to CreateFileA.
struct CallRecord {
    Call call;
    std::vector<std::uint64_t> args;
    std::vector<std::uint8_t> bytes;
    bool succeeded;
    DWORD error; // the last error the call left (0 when it succeeded)
    // WinUsb_ReadPipe: the buffer's first bytes (up to 8) as the caller
    // left them, before the read.
    std::vector<std::uint8_t> before = {};
};

using Pipe = PipeDescription;

// Whether a zero-length packet follows a report that fills its last packet
// (the rule is the protocol's, shared with pendant-gadget).
using ZeroLengthPacket = ::ZeroLengthPacket;

// Another device on the system's HID driver, which is no pendant (a
// keyboard, say): listed under the HID class before the pendant, it answers
// what it is, and the tool must never open it for writing or send it a byte.
struct OtherHidDevice {
    std::string path;
    USHORT vendorId = 0;
    USHORT productId = 0;
    std::vector<std::uint8_t> reportDescriptor;
};

struct Device {
    bool present = true;
    // The class the pendant is listed under: its own GUID (bound to WinUSB)
    // or HidInterfaceClassGuid (bound to the system's HID driver, as out of
    // the box: see HidBoundDevice).
    GUID interfaceGuid = GuidOfParts<GUID>(PendantInterfaceGuidParts);
    std::string path =
        "\\\\?\\usb#vid_fff0&pid_0001#virtual#" + FormatGuidParts(PendantInterfaceGuidParts, true);
    USB_DEVICE_DESCRIPTOR descriptor = {18,     1,      0x0200, 0, 0, 0, 64,
                                        0xFFF0, 0x0001, 0x0100, 0, 0, 0, 1};
    USB_INTERFACE_DESCRIPTOR iface = {9, 4, 0, 0, 1, 3, 0, 0, 0};
    std::vector<Pipe> pipes = {{UsbdPipeTypeInterrupt, 0x81, 8}};
    // Answered to GET_DESCRIPTOR (report) on interface 0; empty: the request
    // is refused (stalled), as by a pendant that is not HID.
    std::vector<std::uint8_t> reportDescriptor =
        protocol::PendantReportDescriptor(DefaultInputReportBytes);
    ZeroLengthPacket zeroLengthPacket = ZeroLengthPacket::AfterSpanningReports;
    // The speed WinUsb_QueryDeviceInformation gives (LowSpeed, FullSpeed,
    // HighSpeed); 0: the query fails, as where the platform cannot tell.
    UCHAR speed = FullSpeed;
    // The report descriptor's length as the HID descriptor of the
    // configuration declares it; -1: its true length.
    int hidReportLength = -1;
    // Class requests (bRequest: HidSetIdle, HidGetReport, ...) the pendant
    // leaves unanswered: the transfer fails with ERROR_SEM_TIMEOUT after
    // the default pipe's time-out.
    std::vector<std::uint8_t> unansweredRequests;
    std::vector<OtherHidDevice> otherHid;
};

// The default pendant on the system's HID driver: listed under the HID class
// with a HID device path, not under its own GUID. Its reads deliver whole
// input reports, as the HID driver does; its display reports go through
// HidD_SetFeature.
Device HidBoundDevice();
// A HID keyboard's report descriptor (no report ids, an 8-byte input
// report, a 1-byte output report): a device that must not be taken for a
// pendant.
std::vector<std::uint8_t> KeyboardReportDescriptor();

// Back to a fresh state: the default device (present, one interrupt IN pipe
// 0x81 of 8-byte packets), nothing queued, no faults, no calls, clock at 0.
void Reset();
// Whether every call, frame and pause is kept for Calls(), Frames() and
// Sleeps() (on after Reset, for tests). Off, memory stays flat however long
// the tool runs: the counts, OnFrame and the rest go on, the lists stay
// empty.
void KeepHistory(bool on);
void SetDevice(const Device& device);
const Device& CurrentDevice();
// Unplugging makes every call on an open interface fail with
// ERROR_BAD_COMMAND and hides the device from discovery; replugging undoes it
// (handles opened before stay dead, as with a real surprise removal).
void Unplug();
void Replug();
bool Plugged();

// What the pendant sends, in order. A report of any length 0..64 is
// sent as packets of the read pipe's packet size, and a read gathers packets
// until a short one or its buffer is full (as on the bus: a report of one
// full packet runs on into the next report, a read that times out half-way
// loses what it gathered, and a packet larger than what the read has room
// for is an overflow, ERROR_GEN_FAILURE). Whether a zero-length packet
// follows a report that fills its last packet is the device's
// zeroLengthPacket. A
// time-out makes one read wait out the pipe's time-out. With nothing queued,
// reads time out.
void QueueReport(const std::vector<std::uint8_t>& report);
void QueueTimeout();
std::size_t PendingInput();

// The nth call (1-based, counted since Reset) to call fails with the given
// last error; with sticky, every call from the nth on fails. Each failure
// takes takesMs on the clock first (a read that gives up after a while).
void FailCall(Call call, unsigned nth, DWORD error, bool sticky = false, DWORD takesMs = 0);

const std::vector<CallRecord>& Calls();
std::vector<CallRecord> CallsOf(Call call);
unsigned CountOf(Call call);
void ClearCalls();

// What is open now: a test proves a path released all it took by checking
// these are back to zero.
struct OpenCounts {
    int deviceInfoSets = 0;
    int detailBuffers = 0;
    int files = 0;
    int interfaces = 0;
    int events = 0;
    int preparsed = 0;
    bool operator==(const OpenCounts& other) const = default;
};
OpenCounts Open();

// Frames the pendant received whole, and the display they decoded to.
struct ReceivedFrame {
    std::vector<std::uint8_t> bytes; // 48
    protocol::DecodedDisplay display;
    std::string problem; // "" for a well-formed frame
};
const std::vector<ReceivedFrame>& Frames();
// Frames received since Reset, and the last of them (no bytes before the
// first), with history kept or not: what a screen shows.
unsigned FramesReceived();
const ReceivedFrame& LastFrame();
// Called for every whole frame as it arrives.
void OnFrame(std::function<void(const ReceivedFrame&)> callback);

// The virtual clock in milliseconds, and the pauses the tool asked for.
DWORD Now();
std::vector<DWORD> Sleeps();

// Ctrl+C, as a person presses it: the handlers of SetConsoleCtrlHandler are
// called with CTRL_C_EVENT, the latest added first, until one returns TRUE.
// Whether one did (false with none): had it not, the program would end.
// Called on the caller's thread, at the moment the test chooses.
bool PressCtrlC();

// How often the tool asked for the backend's advice after its failure
// messages (the virtual pendant has none to give).
unsigned AdviceRequests();

// Real time: a read that times out really waits out the pipe's time-out,
// Sleep really sleeps, and the clock follows the wall clock from where it
// stood. Off after Reset; switching it off leaves the clock where it got to.
void SetRealTime(bool on);
bool RealTime();

} // namespace virtual_pendant
