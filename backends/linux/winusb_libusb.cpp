// WinUSB on libusb: the open usbfs node wrapped by libusb, the first
// interface taken from its kernel driver and given back, and control,
// interrupt and bulk transfers. What the device describes is in
// winusb_describe.cpp.
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <string>

#include "backends/linux/error_map.h"
#include "backends/linux/handles.h"

using namespace linux_backend;

namespace {

void LIBUSB_CALL ReadDone(libusb_transfer* transfer) {
    static_cast<PendingRead*>(transfer->user_data)->completed = 1;
}

// Waits up to timeoutMs (0: without limit) for the read to complete.
// Returns 0 when it did, else a libusb error (LIBUSB_ERROR_TIMEOUT).
int WaitForRead(UsbInterface& usb, PendingRead& read, unsigned timeoutMs) {
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    while (!read.completed) {
        HonourSignal();
        long leftMs = 1000;
        if (timeoutMs != 0) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            const long elapsedMs =
                (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
            leftMs = static_cast<long>(timeoutMs) - elapsedMs;
            if (leftMs <= 0)
                return LIBUSB_ERROR_TIMEOUT;
        }
        timeval tv{leftMs / 1000, (leftMs % 1000) * 1000};
        const int r = libusb_handle_events_timeout_completed(usb.context, &tv, &read.completed);
        if (r < 0 && r != LIBUSB_ERROR_INTERRUPTED)
            return r;
    }
    return LIBUSB_SUCCESS;
}

// Cancels a pending read and waits (briefly) for the cancellation, so that
// its transfer can be freed before the device is closed.
void CancelRead(UsbInterface& usb, PendingRead& read) {
    if (read.transfer == nullptr)
        return;
    if (read.submitted) {
        // It may have finished already and only wait to be reaped.
        libusb_cancel_transfer(read.transfer);
        WaitForRead(usb, read, 1000);
    }
    if (!read.submitted || read.completed)
        libusb_free_transfer(read.transfer);
    // else: still in the kernel after a second; leaking it beats a
    // use-after-free when it completes.
    read.transfer = nullptr;
    read.submitted = false;
}

// libusb is used only on file descriptors we open ourselves; it must not
// scan the bus or watch udev itself.
int NewLibusbContext(libusb_context** context) {
    static std::once_flag once;
    std::call_once(once, [] { libusb_set_option(nullptr, LIBUSB_OPTION_NO_DEVICE_DISCOVERY); });
    return libusb_init(context);
}

// libusb reads the descriptors through the node and says only "I/O error"
// when the pendant has gone meanwhile; usbfs says which it was.
int WrapFailure(int fd, int libusbError) {
    usbdevfs_connectinfo info{};
    if (libusbError == LIBUSB_ERROR_IO && ioctl(fd, USBDEVFS_CONNECTINFO, &info) != 0 &&
        errno == ENODEV)
        return LIBUSB_ERROR_NO_DEVICE;
    return libusbError;
}

} // namespace

const libusb_interface_descriptor* linux_backend::AltSetting(const UsbInterface& usb, UCHAR alt) {
    const libusb_interface& intf = usb.config->interface[usb.interfaceIndex];
    if (alt >= intf.num_altsetting)
        return nullptr;
    return &intf.altsetting[alt];
}

const libusb_endpoint_descriptor* linux_backend::FindEndpoint(const UsbInterface& usb,
                                                              UCHAR pipeId) {
    const libusb_interface& intf = usb.config->interface[usb.interfaceIndex];
    for (int a = 0; a < intf.num_altsetting; ++a)
        for (int e = 0; e < intf.altsetting[a].bNumEndpoints; ++e)
            if (intf.altsetting[a].endpoint[e].bEndpointAddress == pipeId)
                return &intf.altsetting[a].endpoint[e];
    return nullptr;
}

unsigned linux_backend::TimeoutFor(const UsbInterface& usb, UCHAR pipeId, unsigned fallback) {
    const auto it = usb.timeoutMs.find(pipeId);
    return it == usb.timeoutMs.end() ? fallback : it->second;
}

BOOL WINAPI WinUsb_Initialize(HANDLE DeviceHandle, PWINUSB_INTERFACE_HANDLE InterfaceHandle) {
    Step("WinUsb_Initialize");

    auto* file = As<DeviceFile>(DeviceHandle, Kind::File);
    if (file == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (InterfaceHandle == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    auto* usb = new (std::nothrow) UsbInterface;
    if (usb == nullptr)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    usb->node = file->path;
    auto undo = [usb](int libusbError) {
        if (usb->device != nullptr) {
            if (usb->driverDetached)
                GiveBack(*usb);
            libusb_close(usb->device);
        }
        if (usb->config != nullptr)
            libusb_free_config_descriptor(usb->config);
        if (usb->context != nullptr)
            libusb_exit(usb->context);
        delete usb;
        return FailLibusb(libusbError);
    };
    int r = NewLibusbContext(&usb->context);
    if (r != LIBUSB_SUCCESS) {
        usb->context = nullptr;
        return undo(r);
    }
    r = libusb_wrap_sys_device(usb->context, static_cast<intptr_t>(file->fd), &usb->device);
    if (r != LIBUSB_SUCCESS) {
        usb->device = nullptr;
        return undo(WrapFailure(file->fd, r));
    }
    r = libusb_get_active_config_descriptor(libusb_get_device(usb->device), &usb->config);
    if (r != LIBUSB_SUCCESS) {
        usb->config = nullptr;
        return undo(r);
    }
    if (usb->config->bNumInterfaces == 0 || usb->config->interface[0].num_altsetting == 0)
        return undo(LIBUSB_ERROR_NOT_FOUND);
    // WinUSB's first interface handle is the configuration's first interface.
    usb->interfaceNumber = usb->config->interface[0].altsetting[0].bInterfaceNumber;
    // A pendant is usually claimed by the kernel's HID driver: take it over,
    // and give it back in WinUsb_Free.
    if (libusb_kernel_driver_active(usb->device, usb->interfaceNumber) == 1) {
        r = libusb_detach_kernel_driver(usb->device, usb->interfaceNumber);
        if (r != LIBUSB_SUCCESS && r != LIBUSB_ERROR_NOT_FOUND) {
            AdviseLater("Linux: the kernel would not let go of interface " +
                        std::to_string(usb->interfaceNumber) + " of the pendant (" + usb->node +
                        "): " + libusb_strerror(static_cast<libusb_error>(r)) +
                        ". Its driver may be held by another program or by the system's "
                        "policy; see docs/linux.md (Binding a pendant).\n");
            return undo(r);
        }
        usb->driverDetached = r == LIBUSB_SUCCESS;
    }
    r = libusb_claim_interface(usb->device, usb->interfaceNumber);
    if (r != LIBUSB_SUCCESS) {
        if (r == LIBUSB_ERROR_BUSY)
            AdviseLater("Linux: another program has claimed interface " +
                        std::to_string(usb->interfaceNumber) + " of the pendant (" + usb->node +
                        "), a second pendant-test for one; end it and start again.\n");
        return undo(r);
    }
    *InterfaceHandle = usb;
    TrackTaken(*usb);
    return TRUE;
}

void linux_backend::CancelReads(UsbInterface& usb) {
    for (auto& [pipe, read] : usb.reads)
        CancelRead(usb, read);
}

void linux_backend::GiveBack(UsbInterface& usb) {
    libusb_release_interface(usb.device, usb.interfaceNumber);
    if (!usb.driverDetached)
        return;
    usb.driverDetached = false;
    const int r = libusb_attach_kernel_driver(usb.device, usb.interfaceNumber);
    // A pendant that is gone gets its driver when it is plugged in again.
    if (r == LIBUSB_SUCCESS || r == LIBUSB_ERROR_NO_DEVICE)
        return;
    std::fprintf(stderr,
                 "%s: could not give interface %d of the pendant (%s) back to its kernel "
                 "driver: %s; unplug the pendant and plug it in again\n",
                 program_invocation_short_name, usb.interfaceNumber, usb.node.c_str(),
                 libusb_strerror(static_cast<libusb_error>(r)));
}

BOOL WINAPI WinUsb_Free(WINUSB_INTERFACE_HANDLE InterfaceHandle) {
    Step("WinUsb_Free");

    auto* usb = As<UsbInterface>(InterfaceHandle, Kind::Usb);
    if (usb == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    CancelReads(*usb);
    GiveBack(*usb);
    TrackReleased(*usb);
    libusb_close(usb->device);
    libusb_free_config_descriptor(usb->config);
    libusb_exit(usb->context);
    usb->kind = Kind{};
    delete usb;
    return TRUE;
}

BOOL WINAPI WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE InterfaceHandle, UCHAR PipeID,
                                 ULONG PolicyType, ULONG ValueLength, PVOID Value) {
    Step("WinUsb_SetPipePolicy");

    auto* usb = As<UsbInterface>(InterfaceHandle, Kind::Usb);
    if (usb == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (PolicyType != PIPE_TRANSFER_TIMEOUT)
        return Fail(ERROR_NOT_SUPPORTED);
    if (Value == nullptr || ValueLength != sizeof(ULONG))
        return Fail(ERROR_INVALID_PARAMETER);
    // Pipe 0 is the default control pipe; any other must be one of ours.
    if (PipeID != 0 && FindEndpoint(*usb, PipeID) == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    ULONG ms;
    std::memcpy(&ms, Value, sizeof ms);
    usb->timeoutMs[PipeID] = ms;
    return TRUE;
}

BOOL WINAPI WinUsb_ControlTransfer(WINUSB_INTERFACE_HANDLE InterfaceHandle,
                                   WINUSB_SETUP_PACKET SetupPacket, PUCHAR Buffer,
                                   ULONG BufferLength, PULONG LengthTransferred,
                                   LPOVERLAPPED Overlapped) {
    Step("WinUsb_ControlTransfer");

    auto* usb = As<UsbInterface>(InterfaceHandle, Kind::Usb);
    if (usb == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (LengthTransferred != nullptr)
        *LengthTransferred = 0;
    if (Overlapped != nullptr)
        return Fail(ERROR_NOT_SUPPORTED);
    if (SetupPacket.Length > BufferLength || (SetupPacket.Length > 0 && Buffer == nullptr))
        return Fail(ERROR_INVALID_PARAMETER);
    const int r =
        libusb_control_transfer(usb->device, SetupPacket.RequestType, SetupPacket.Request,
                                SetupPacket.Value, SetupPacket.Index, Buffer, SetupPacket.Length,
                                TimeoutFor(*usb, 0, DefaultControlTimeoutMs));
    HonourSignal();
    if (r < 0)
        return FailLibusb(r);
    if (LengthTransferred != nullptr)
        *LengthTransferred = static_cast<ULONG>(r);
    return TRUE;
}

BOOL WINAPI WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE InterfaceHandle, UCHAR PipeID, PUCHAR Buffer,
                            ULONG BufferLength, PULONG LengthTransferred, LPOVERLAPPED Overlapped) {
    Step("WinUsb_ReadPipe");

    auto* usb = As<UsbInterface>(InterfaceHandle, Kind::Usb);
    if (usb == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (LengthTransferred != nullptr)
        *LengthTransferred = 0;
    if (Overlapped != nullptr)
        return Fail(ERROR_NOT_SUPPORTED);
    const libusb_endpoint_descriptor* ep = FindEndpoint(*usb, PipeID);
    if (ep == nullptr || !(PipeID & USB_ENDPOINT_DIRECTION_MASK) || Buffer == nullptr ||
        BufferLength > 0x7FFFFFFF)
        return Fail(ERROR_INVALID_PARAMETER);
    const int type = ep->bmAttributes & 0x03;
    if (type != LIBUSB_TRANSFER_TYPE_INTERRUPT && type != LIBUSB_TRANSFER_TYPE_BULK)
        return Fail(ERROR_INVALID_PARAMETER);

    PendingRead& read = usb->reads[PipeID];
    if (read.transfer == nullptr && (read.transfer = libusb_alloc_transfer(0)) == nullptr)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    if (!read.submitted) {
        read.buffer.assign(BufferLength, 0);
        const int length = static_cast<int>(BufferLength);
        // No libusb time-out: the transfer outlives a read that times out.
        if (type == LIBUSB_TRANSFER_TYPE_INTERRUPT)
            libusb_fill_interrupt_transfer(read.transfer, usb->device, PipeID, read.buffer.data(),
                                           length, ReadDone, &read, 0);
        else
            libusb_fill_bulk_transfer(read.transfer, usb->device, PipeID, read.buffer.data(),
                                      length, ReadDone, &read, 0);
        read.completed = 0;
        const int r = libusb_submit_transfer(read.transfer);
        if (r != LIBUSB_SUCCESS)
            return FailLibusb(r);
        read.submitted = true;
    }
    const int r = WaitForRead(*usb, read, TimeoutFor(*usb, PipeID, 0));
    if (r != LIBUSB_SUCCESS)
        return FailLibusb(r); // a time-out leaves the read pending
    read.submitted = false;

    const DWORD status = Win32FromTransferStatus(read.transfer->status);
    if (status != ERROR_SUCCESS)
        return Fail(status);
    // The transfer was sized by the read that submitted it; never hand back
    // more than this read asked for.
    const auto got = static_cast<ULONG>(read.transfer->actual_length);
    const ULONG n = got < BufferLength ? got : BufferLength;
    if (n != 0)
        std::memcpy(Buffer, read.buffer.data(), n);
    if (LengthTransferred != nullptr)
        *LengthTransferred = n;
    return TRUE;
}
