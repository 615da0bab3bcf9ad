// WinUSB: the virtual pendant's interface, pipes, display reports and input.
#include <algorithm>
#include <cstring>

#include "backends/virtual/state.h"

using namespace virtual_pendant;

BOOL WINAPI WinUsb_Initialize(HANDLE DeviceHandle, PWINUSB_INTERFACE_HANDLE InterfaceHandle) {
    CallRecord& r = Record(Call::WinUsb_Initialize, {reinterpret_cast<std::uintptr_t>(DeviceHandle),
                                                     Given(InterfaceHandle)});
    DWORD error = 0;
    if (Injected(Call::WinUsb_Initialize, error))
        return Fail(r, error, FALSE);
    if (InterfaceHandle == nullptr)
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    if (!Known(S().files, DeviceHandle))
        return Finish(r, ERROR_INVALID_HANDLE, FALSE);
    if (!Live(S().files, DeviceHandle))
        return Finish(r, ERROR_BAD_COMMAND, FALSE);
    *InterfaceHandle = NewHandle(S().interfaces);
    return Finish(r, ERROR_SUCCESS, TRUE);
}

BOOL WINAPI WinUsb_Free(WINUSB_INTERFACE_HANDLE InterfaceHandle) {
    CallRecord& r = Record(Call::WinUsb_Free, {reinterpret_cast<std::uintptr_t>(InterfaceHandle)});
    DWORD error = 0;
    if (Injected(Call::WinUsb_Free, error))
        return Fail(r, error, FALSE);
    if (S().interfaces.erase(reinterpret_cast<std::uintptr_t>(InterfaceHandle)) == 0)
        return Finish(r, ERROR_INVALID_HANDLE, FALSE);
    return Finish(r, ERROR_SUCCESS, TRUE);
}

namespace {
// The configuration as the device would give it: the interface, its HID
// descriptor (a HID interface) and its pipes' endpoints.
std::vector<std::uint8_t> ConfigurationDescriptor(const Device& device) {
    const USB_INTERFACE_DESCRIPTOR& i = device.iface;
    std::vector<std::uint8_t> d = {9,
                                   USB_CONFIGURATION_DESCRIPTOR_TYPE,
                                   0,
                                   0,
                                   1,
                                   1,
                                   0,
                                   0x80,
                                   50,
                                   i.bLength,
                                   i.bDescriptorType,
                                   i.bInterfaceNumber,
                                   i.bAlternateSetting,
                                   static_cast<std::uint8_t>(device.pipes.size()),
                                   i.bInterfaceClass,
                                   i.bInterfaceSubClass,
                                   i.bInterfaceProtocol,
                                   i.iInterface};
    if (i.bInterfaceClass == UsbClassHid) {
        const auto length = static_cast<std::uint16_t>(
            device.hidReportLength >= 0 ? device.hidReportLength : device.reportDescriptor.size());
        d.insert(d.end(),
                 {9, HidDescriptorType, 0x11, 0x01, 0, 1, HidReportDescriptorType,
                  static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8)});
    }
    for (const Pipe& p : device.pipes)
        d.insert(d.end(), {7, 5, p.id, static_cast<std::uint8_t>(p.type),
                           static_cast<std::uint8_t>(p.maxPacket),
                           static_cast<std::uint8_t>(p.maxPacket >> 8), p.interval});
    PutLe16(&d[2], static_cast<std::uint16_t>(d.size()));
    return d;
}

// Common checks of a call on an interface handle; 0 when it may proceed.
DWORD InterfaceError(WINUSB_INTERFACE_HANDLE h) {
    if (!Known(S().interfaces, h))
        return ERROR_INVALID_HANDLE;
    if (!Live(S().interfaces, h))
        return ERROR_BAD_COMMAND;
    return ERROR_SUCCESS;
}
} // namespace

BOOL WINAPI WinUsb_GetDescriptor(WINUSB_INTERFACE_HANDLE InterfaceHandle, UCHAR DescriptorType,
                                 UCHAR Index, USHORT LanguageID, PUCHAR Buffer, ULONG BufferLength,
                                 PULONG LengthTransferred) {
    CallRecord& r =
        Record(Call::WinUsb_GetDescriptor,
               {reinterpret_cast<std::uintptr_t>(InterfaceHandle), DescriptorType, Index,
                LanguageID, Given(Buffer), BufferLength, Given(LengthTransferred)});
    DWORD error = 0;
    if (Injected(Call::WinUsb_GetDescriptor, error) ||
        (error = InterfaceError(InterfaceHandle)) != ERROR_SUCCESS)
        return Fail(r, error, FALSE);
    if ((DescriptorType != USB_DEVICE_DESCRIPTOR_TYPE &&
         DescriptorType != USB_CONFIGURATION_DESCRIPTOR_TYPE) ||
        Index != 0 || Buffer == nullptr)
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    std::vector<std::uint8_t> d;
    if (DescriptorType == USB_DEVICE_DESCRIPTOR_TYPE) {
        const auto* at = reinterpret_cast<const std::uint8_t*>(&S().device.descriptor);
        d.assign(at, at + sizeof(USB_DEVICE_DESCRIPTOR));
    } else {
        d = ConfigurationDescriptor(S().device);
    }
    const ULONG n = std::min<ULONG>(BufferLength, static_cast<ULONG>(d.size()));
    std::memcpy(Buffer, d.data(), n);
    if (LengthTransferred != nullptr)
        *LengthTransferred = n;
    return Finish(r, ERROR_SUCCESS, TRUE);
}

BOOL WINAPI WinUsb_QueryDeviceInformation(WINUSB_INTERFACE_HANDLE InterfaceHandle,
                                          ULONG InformationType, PULONG BufferLength,
                                          PVOID Buffer) {
    CallRecord& r = Record(Call::WinUsb_QueryDeviceInformation,
                           {reinterpret_cast<std::uintptr_t>(InterfaceHandle), InformationType,
                            Given(BufferLength), Given(Buffer)});
    DWORD error = 0;
    if (Injected(Call::WinUsb_QueryDeviceInformation, error) ||
        (error = InterfaceError(InterfaceHandle)) != ERROR_SUCCESS)
        return Fail(r, error, FALSE);
    if (InformationType != DEVICE_SPEED || BufferLength == nullptr || Buffer == nullptr)
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    if (*BufferLength < 1)
        return Finish(r, ERROR_INSUFFICIENT_BUFFER, FALSE);
    if (S().device.speed == 0)
        return Finish(r, ERROR_NOT_SUPPORTED, FALSE);
    *static_cast<UCHAR*>(Buffer) = S().device.speed;
    *BufferLength = 1;
    return Finish(r, ERROR_SUCCESS, TRUE);
}

BOOL WINAPI WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE InterfaceHandle,
                                          UCHAR AlternateInterfaceNumber,
                                          PUSB_INTERFACE_DESCRIPTOR UsbAltInterfaceDescriptor) {
    CallRecord& r = Record(Call::WinUsb_QueryInterfaceSettings,
                           {reinterpret_cast<std::uintptr_t>(InterfaceHandle),
                            AlternateInterfaceNumber, Given(UsbAltInterfaceDescriptor)});
    DWORD error = 0;
    if (Injected(Call::WinUsb_QueryInterfaceSettings, error) ||
        (error = InterfaceError(InterfaceHandle)) != ERROR_SUCCESS)
        return Fail(r, error, FALSE);
    if (UsbAltInterfaceDescriptor == nullptr)
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    if (AlternateInterfaceNumber != 0)
        return Finish(r, ERROR_NO_MORE_ITEMS, FALSE);
    *UsbAltInterfaceDescriptor = S().device.iface;
    return Finish(r, ERROR_SUCCESS, TRUE);
}

BOOL WINAPI WinUsb_QueryPipe(WINUSB_INTERFACE_HANDLE InterfaceHandle,
                             UCHAR AlternateInterfaceNumber, UCHAR PipeIndex,
                             PWINUSB_PIPE_INFORMATION PipeInformation) {
    CallRecord& r = Record(Call::WinUsb_QueryPipe,
                           {reinterpret_cast<std::uintptr_t>(InterfaceHandle),
                            AlternateInterfaceNumber, PipeIndex, Given(PipeInformation)});
    DWORD error = 0;
    if (Injected(Call::WinUsb_QueryPipe, error) ||
        (error = InterfaceError(InterfaceHandle)) != ERROR_SUCCESS)
        return Fail(r, error, FALSE);
    if (PipeInformation == nullptr)
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    if (AlternateInterfaceNumber != 0 || PipeIndex >= S().device.pipes.size())
        return Finish(r, ERROR_NO_MORE_ITEMS, FALSE);
    const Pipe& p = S().device.pipes[PipeIndex];
    PipeInformation->PipeType = p.type;
    PipeInformation->PipeId = p.id;
    PipeInformation->MaximumPacketSize = p.maxPacket;
    PipeInformation->Interval = p.type == UsbdPipeTypeInterrupt ? p.interval : 0;
    return Finish(r, ERROR_SUCCESS, TRUE);
}

BOOL WINAPI WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE InterfaceHandle, UCHAR PipeID,
                                 ULONG PolicyType, ULONG ValueLength, PVOID Value) {
    ULONG value = 0;
    if (Value != nullptr && ValueLength == sizeof value)
        std::memcpy(&value, Value, sizeof value);
    CallRecord& r =
        Record(Call::WinUsb_SetPipePolicy, {reinterpret_cast<std::uintptr_t>(InterfaceHandle),
                                            PipeID, PolicyType, ValueLength, value});
    DWORD error = 0;
    if (Injected(Call::WinUsb_SetPipePolicy, error) ||
        (error = InterfaceError(InterfaceHandle)) != ERROR_SUCCESS)
        return Fail(r, error, FALSE);
    if (Value == nullptr || FindPipe(PipeID) == nullptr)
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    if (PolicyType == PIPE_TRANSFER_TIMEOUT) {
        if (ValueLength != sizeof(ULONG))
            return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
        S().pipeTimeouts[PipeID] = value;
    }
    return Finish(r, ERROR_SUCCESS, TRUE);
}

BOOL WINAPI WinUsb_ControlTransfer(WINUSB_INTERFACE_HANDLE InterfaceHandle,
                                   WINUSB_SETUP_PACKET SetupPacket, PUCHAR Buffer,
                                   ULONG BufferLength, PULONG LengthTransferred,
                                   LPOVERLAPPED Overlapped) {
    CallRecord& r = Record(Call::WinUsb_ControlTransfer,
                           {reinterpret_cast<std::uintptr_t>(InterfaceHandle), BufferLength,
                            Given(LengthTransferred), Given(Overlapped)});
    std::uint8_t setup[8];
    std::memcpy(setup, &SetupPacket, sizeof setup);
    r.bytes.assign(setup, setup + sizeof setup);
    // What goes out is recorded now, what comes in once it has.
    const bool in = (SetupPacket.RequestType & USB_ENDPOINT_DIRECTION_MASK) != 0;
    if (Buffer != nullptr && !in)
        r.bytes.insert(r.bytes.end(), Buffer, Buffer + BufferLength);
    DWORD error = 0;
    if (Injected(Call::WinUsb_ControlTransfer, error) ||
        (error = InterfaceError(InterfaceHandle)) != ERROR_SUCCESS)
        return Fail(r, error, FALSE);
    if (Overlapped != nullptr || (Buffer == nullptr && BufferLength != 0) ||
        BufferLength != SetupPacket.Length)
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    // A HID pendant answers the requests of its interface as HID devices
    // do; any other takes what is sent and answers nothing.
    protocol::HidReply reply;
    const bool hid = S().device.iface.bInterfaceClass == UsbClassHid;
    const auto& unanswered = S().device.unansweredRequests;
    if (hid && (SetupPacket.RequestType & 0x60) == 0x20 &&
        std::find(unanswered.begin(), unanswered.end(), SetupPacket.Request) != unanswered.end()) {
        const auto t = S().pipeTimeouts.find(0);
        Wait(t == S().pipeTimeouts.end() ? DefaultControlTimeoutMs : t->second);
        return Finish(r, ERROR_SEM_TIMEOUT, FALSE);
    }
    if (hid)
        reply = protocol::AnswerHidRequest(setup, HidState());
    if (reply.outcome == protocol::HidOutcome::Stall ||
        (in && reply.outcome != protocol::HidOutcome::Answer))
        return Finish(r, ERROR_GEN_FAILURE, FALSE);
    if (in) {
        const std::size_t n = std::min<std::size_t>(reply.data.size(), BufferLength);
        std::memcpy(Buffer, reply.data.data(), n);
        r.bytes.insert(r.bytes.end(), reply.data.begin(),
                       reply.data.begin() + static_cast<std::ptrdiff_t>(n));
        if (LengthTransferred != nullptr)
            *LengthTransferred = static_cast<ULONG>(n);
        return Finish(r, ERROR_SUCCESS, TRUE);
    }
    if (hid)
        protocol::TakeHidRequest(setup, Buffer, BufferLength, HidState());
    if (LengthTransferred != nullptr)
        *LengthTransferred = BufferLength;
    const BOOL ok = Finish(r, ERROR_SUCCESS, TRUE);
    // Last, since a frame callback may itself call into the platform.
    if (protocol::IsDisplaySetReport(setup))
        Deliver(Buffer);
    return ok;
}

BOOL WINAPI WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE InterfaceHandle, UCHAR PipeID, PUCHAR Buffer,
                            ULONG BufferLength, PULONG LengthTransferred, LPOVERLAPPED Overlapped) {
    CallRecord& r =
        Record(Call::WinUsb_ReadPipe, {reinterpret_cast<std::uintptr_t>(InterfaceHandle), PipeID,
                                       BufferLength, Given(LengthTransferred), Given(Overlapped)});
    DWORD error = 0;
    if (Injected(Call::WinUsb_ReadPipe, error) ||
        (error = InterfaceError(InterfaceHandle)) != ERROR_SUCCESS)
        return Fail(r, error, FALSE);
    const Pipe* pipe = FindPipe(PipeID);
    if (pipe == nullptr || !(PipeID & USB_ENDPOINT_DIRECTION_MASK) || Buffer == nullptr ||
        Overlapped != nullptr)
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);

    // What the tool left in the buffer, so tests can see what it cleared.
    r.before.assign(Buffer, Buffer + std::min<ULONG>(BufferLength, 8));

    // The pendant sends each report as packets of the pipe's size; a read
    // takes packets until a short one or a full buffer, as on the bus. A
    // report that fills its last packet ends the read only when a
    // zero-length packet follows it (Device::zeroLengthPacket), and a read
    // that times out half-way loses what it had gathered.
    State& s = S();
    const std::size_t packetSize = pipe->maxPacket != 0 ? pipe->maxPacket : 64;
    std::vector<std::uint8_t> got;
    for (;;) {
        if (s.input.empty() || s.input.front().timeout) {
            if (!s.input.empty())
                s.input.pop_front();
            auto t = s.pipeTimeouts.find(PipeID);
            Wait(t == s.pipeTimeouts.end() ? DefaultTimeoutMs : t->second);
            r.bytes = got;
            return Finish(r, ERROR_SEM_TIMEOUT, FALSE);
        }
        Input& in = s.input.front();
        const std::size_t packet = std::min(packetSize, in.report.size() - in.sent);
        const bool overflow = packet > BufferLength - got.size();
        if (!overflow)
            got.insert(got.end(), in.report.begin() + static_cast<std::ptrdiff_t>(in.sent),
                       in.report.begin() + static_cast<std::ptrdiff_t>(in.sent + packet));
        in.sent += packet;
        const bool zlpFollows =
            ZeroLengthPacketFollows(s.device.zeroLengthPacket, in.report.size(), packetSize);
        if (in.sent >= in.report.size() && (packet < packetSize || !zlpFollows)) {
            if (!in.report.empty())
                s.hid.lastInput = in.report; // what GET_REPORT (input) gives from now on
            s.input.pop_front();
        }
        if (overflow) {
            // More than the read asked for: the host reports an overflow.
            r.bytes = got;
            return Finish(r, ERROR_GEN_FAILURE, FALSE);
        }
        if (packet < packetSize || got.size() == BufferLength)
            break;
    }
    if (!got.empty())
        std::memcpy(Buffer, got.data(), got.size());
    if (LengthTransferred != nullptr)
        *LengthTransferred = static_cast<ULONG>(got.size());
    r.bytes = got;
    return Finish(r, ERROR_SUCCESS, TRUE);
}
