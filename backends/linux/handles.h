// Inside the Linux backend: the objects behind its handles and the last
// error, shared by kernel32.cpp, setupapi_udev.cpp, winusb_libusb.cpp and
// the HID calls over hidraw (hidraw.cpp, preparsed.cpp, overlapped.cpp).
#pragma once

#include <libusb.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "protocol/report_descriptor.h"
#include "usb/winapi.h"

namespace linux_backend {

// Handles are tagged objects so that a handle of the wrong kind, or a stale
// one, is refused with ERROR_INVALID_HANDLE rather than misused.
enum class Kind : std::uint32_t {
    DevInfo = 0x50444931,
    File = 0x5046494c,
    Usb = 0x50555342,
    Hid = 0x50484944,
    Event = 0x50455654,
};

struct DevInfoSet {
    Kind kind = Kind::DevInfo;
    GUID guid{};
    std::vector<std::string> paths;
};

struct DeviceFile {
    Kind kind = Kind::File;
    int fd = -1;
    std::string path;
};

// A read of an input pipe that stays submitted across time-outs. A read that
// times out leaves it pending instead of cancelling it, and the next read
// waits on it again: an idle turn then costs one wait, not a submit, a
// cancel and a reap, and a packet that arrives as the time runs out is kept
// for the next read instead of being lost with the cancelled transfer.
struct PendingRead {
    libusb_transfer* transfer = nullptr;
    std::vector<unsigned char> buffer;
    bool submitted = false;
    int completed = 0; // set by the completion callback
};

struct UsbInterface {
    Kind kind = Kind::Usb;
    std::map<UCHAR, PendingRead> reads; // per input pipe
    libusb_context* context = nullptr;
    libusb_device_handle* device = nullptr;
    libusb_config_descriptor* config = nullptr;
    int interfaceIndex = 0;  // in the active configuration
    int interfaceNumber = 0; // bInterfaceNumber
    bool driverDetached = false;
    std::map<UCHAR, unsigned> timeoutMs; // PIPE_TRANSFER_TIMEOUT per pipe
    std::string node;                    // the device path, for messages
};

struct Event;

// A hidraw node opened by CreateFileA, non-blocking: the HID driver keeps
// the device, and this program is one more reader of its reports.
struct HidDevice {
    Kind kind = Kind::Hid;
    // -1 for a device opened with no access asked: what it is was read from
    // sysfs (ids below), so that finding the pendant needs no right to the
    // node of any HID device, as on Windows.
    int fd = -1;
    unsigned long long node = 0; // the node's dev_t
    USHORT vendorId = 0;
    USHORT productId = 0;
    std::string path;
    bool mayRead = false;  // GENERIC_READ
    bool mayWrite = false; // GENERIC_WRITE
    bool overlapped = false;
    // The report descriptor as the kernel holds it, parsed once at opening.
    std::unique_ptr<protocol::ReportLayout> layout;
    // The one read under way, emulated: nothing is asked of the kernel until
    // a wait finds a report to read, so a read that is cancelled or never
    // ends has taken nothing.
    struct {
        bool pending = false;
        void* buffer = nullptr;
        DWORD length = 0;
        OVERLAPPED* overlapped = nullptr;
        Event* event = nullptr;
    } read;
};

// A manual-reset event of CreateEventA. Nothing but the end of a read sets
// it, and that happens inside this thread's own calls: a wait on it is a
// wait for the read's report.
struct Event {
    Kind kind = Kind::Event;
    bool set = false;
    HidDevice* reader = nullptr; // whose read under way sets it
};

template <typename T> T* As(void* handle, Kind kind) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return nullptr;
    auto* object = static_cast<T*>(handle);
    return object->kind == kind ? object : nullptr;
}

// The HID handles (hidraw.cpp, overlapped.cpp). Whether the path is a
// hidraw node; opening one (CreateFileA's last error set on failure);
// closing them, which ends a read under way as CancelIo does.
bool IsHidrawNode(const char* path);
HANDLE OpenHidraw(const char* path, DWORD desiredAccess, DWORD flags);
void CloseHidDevice(HidDevice* device);
void CloseEvent(Event* event);

// Runs the step hook of linux_backend.h, if one is set.
void Step(const char* call);

// The calling thread's last error.
DWORD& LastError();
// Sets the last error to why the call failed; returns FALSE.
BOOL Fail(DWORD error);
BOOL FailLibusb(int libusbError);

// WinUSB's default for data pipes is no time-out; control transfers give up
// after 5 s.
constexpr unsigned DefaultControlTimeoutMs = 5000;
// The interface's alternate setting alt, or nullptr.
const libusb_interface_descriptor* AltSetting(const UsbInterface& usb, UCHAR alt);
// The interface's endpoint of that address in any setting, or nullptr.
const libusb_endpoint_descriptor* FindEndpoint(const UsbInterface& usb, UCHAR pipeId);
// The pipe's time-out (PIPE_TRANSFER_TIMEOUT), or fallback when none is set.
unsigned TimeoutFor(const UsbInterface& usb, UCHAR pipeId, unsigned fallback);

// Advice for after the tool's failure messages (advice.cpp): what is kept
// is printed by PrintPlatformAdvice. The device node the user may not open,
// and the advice's text for it.
void AdviseLater(std::string text);
void RememberRefusedNode(const std::string& path);
std::string AccessAdvice(const std::string& devicePath);

// Ends the claim on the interface and gives it back to the kernel driver it
// was taken from, saying on standard error when the driver cannot have it
// back (winusb_libusb.cpp). Its reads must have ended.
void GiveBack(UsbInterface& usb);
// Interfaces taken from their kernel drivers, to be given back when
// SIGINT, SIGTERM or SIGHUP would end the program (handback.cpp). While any
// is taken, those signals only note that they came; the backend's waits
// call HonourSignal, which gives them all back and then ends the program
// as the signal would have.
void TrackTaken(UsbInterface& usb);
void TrackReleased(UsbInterface& usb);
void HonourSignal();
// SetConsoleCtrlHandler's two halves (handback.cpp, which owns SIGINT):
// while any handler is added, SIGINT calls them, the latest first; one that
// returns TRUE has handled it. Unhandled, SIGINT does what it would without
// them. Removing the last one leaves SIGINT as it was.
BOOL AddCtrlHandler(PHANDLER_ROUTINE handler);
BOOL RemoveCtrlHandler(PHANDLER_ROUTINE handler);
// Ends the interface's pending reads, so that it can be given back.
void CancelReads(UsbInterface& usb);

} // namespace linux_backend
