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
    if (DescriptorType != USB_DEVICE_DESCRIPTOR_TYPE || Index != 0 || Buffer == nullptr)
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    const ULONG n =
        BufferLength < sizeof(USB_DEVICE_DESCRIPTOR) ? BufferLength : sizeof(USB_DEVICE_DESCRIPTOR);
    std::memcpy(Buffer, &S().device.descriptor, n);
    if (LengthTransferred != nullptr)
        *LengthTransferred = n;
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
    PipeInformation->Interval = p.type == UsbdPipeTypeInterrupt ? 1 : 0;
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
