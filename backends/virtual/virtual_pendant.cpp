// The platform functions of the stand-in header, served by a virtual pendant.
#include "backends/virtual/virtual_pendant.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <thread>

namespace virtual_pendant {

namespace {

struct Fault {
    Call call;
    unsigned nth;
    DWORD error;
    bool sticky;
};

struct Input {
    bool timeout;
    std::vector<std::uint8_t> report;
    std::size_t sent = 0; // bytes of report already sent as packets
};

// A handle we gave out; dead once the pendant is unplugged under it.
struct Issued {
    unsigned generation;
};

constexpr ULONG DefaultTimeoutMs = 0;
constexpr DWORD ERROR_INVALID_USER_BUFFER_ = 1784;

struct State {
    Device device;
    bool plugged = true;
    unsigned generation = 0;
    DWORD lastError = 0;
    DWORD clock = 0;
    std::deque<Input> input;
    std::vector<Fault> faults;
    std::map<Call, unsigned> counts;
    std::vector<CallRecord> calls;
    std::vector<DWORD> sleeps;
    std::uintptr_t nextHandle = 0x1000;
    std::map<std::uintptr_t, Issued> sets, files, interfaces;
    std::set<void*> blocks;
    std::map<UCHAR, ULONG> pipeTimeouts;
    pendant_side::FrameAssembler assembler;
    std::vector<ReceivedFrame> frames;
    std::function<void(const ReceivedFrame&)> onFrame;
    bool realTime = false;
    std::chrono::steady_clock::time_point realStart;
    DWORD clockAtRealStart = 0;
};

State& S() {
    static State state;
    return state;
}

std::uint64_t Given(const void* p) {
    return p != nullptr ? 1 : 0;
}

// Counts the call, and returns the injected error when it is due to fail.
bool Injected(Call call, DWORD& error) {
    State& s = S();
    const unsigned n = ++s.counts[call];
    for (const Fault& f : s.faults)
        if (f.call == call && (n == f.nth || (f.sticky && n > f.nth))) {
            error = f.error;
            return true;
        }
    return false;
}

CallRecord& Record(Call call, std::vector<std::uint64_t> args) {
    S().calls.push_back(CallRecord{call, std::move(args), {}, true, 0});
    return S().calls.back();
}

// Ends a call: sets the last error and notes the outcome in its record.
template <typename T> T Finish(CallRecord& record, DWORD error, T result) {
    record.succeeded = error == ERROR_SUCCESS;
    record.error = error;
    if (error != ERROR_SUCCESS)
        S().lastError = error;
    return result;
}

// Ends an injected or handle failure: the call fails, whatever the error
// (even 0, for platforms that fail without saying why).
template <typename T> T Fail(CallRecord& record, DWORD error, T result) {
    record.succeeded = false;
    record.error = error;
    S().lastError = error;
    return result;
}

HANDLE NewHandle(std::map<std::uintptr_t, Issued>& table) {
    const std::uintptr_t h = S().nextHandle;
    S().nextHandle += 0x10;
    table[h] = Issued{S().generation};
    return reinterpret_cast<HANDLE>(h);
}

bool Known(const std::map<std::uintptr_t, Issued>& table, const void* h) {
    return table.count(reinterpret_cast<std::uintptr_t>(h)) != 0;
}

// Whether a handle still reaches the device: issued, and not unplugged since.
bool Live(const std::map<std::uintptr_t, Issued>& table, const void* h) {
    auto it = table.find(reinterpret_cast<std::uintptr_t>(h));
    return it != table.end() && S().plugged && it->second.generation == S().generation;
}

// In real time the clock is the virtual time at the switch plus the wall
// time since; the unsigned sum wraps like the platform's tick counter.
void SyncClock() {
    State& s = S();
    if (!s.realTime)
        return;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - s.realStart);
    s.clock = s.clockAtRealStart + static_cast<DWORD>(elapsed.count());
}

void Wait(DWORD ms) {
    if (!S().realTime) {
        S().clock += ms;
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    SyncClock();
}

bool Visible() {
    return S().device.present && S().plugged;
}

const Pipe* FindPipe(UCHAR id) {
    for (const Pipe& p : S().device.pipes)
        if (p.id == id)
            return &p;
    return nullptr;
}

void Deliver(const std::uint8_t* report) {
    State& s = S();
    if (!s.assembler.Add(report, pendant_side::ReportBytes))
        return;
    ReceivedFrame frame;
    frame.bytes.assign(s.assembler.Frame().begin(), s.assembler.Frame().end());
    frame.problem = pendant_side::DecodeDisplayFrame(frame.bytes.data(), frame.display);
    s.frames.push_back(frame);
    if (s.onFrame)
        s.onFrame(s.frames.back());
}

} // namespace

const char* CallName(Call call) {
    switch (call) {
    case Call::GetLastError:
        return "GetLastError";
    case Call::SetLastError:
        return "SetLastError";
    case Call::CreateFileA:
        return "CreateFileA";
    case Call::CloseHandle:
        return "CloseHandle";
    case Call::LocalAlloc:
        return "LocalAlloc";
    case Call::LocalFree:
        return "LocalFree";
    case Call::Sleep:
        return "Sleep";
    case Call::GetTickCount:
        return "GetTickCount";
    case Call::SetupDiGetClassDevsA:
        return "SetupDiGetClassDevsA";
    case Call::SetupDiEnumDeviceInterfaces:
        return "SetupDiEnumDeviceInterfaces";
    case Call::SetupDiGetDeviceInterfaceDetailA:
        return "SetupDiGetDeviceInterfaceDetailA";
    case Call::SetupDiDestroyDeviceInfoList:
        return "SetupDiDestroyDeviceInfoList";
    case Call::WinUsb_Initialize:
        return "WinUsb_Initialize";
    case Call::WinUsb_Free:
        return "WinUsb_Free";
    case Call::WinUsb_GetDescriptor:
        return "WinUsb_GetDescriptor";
    case Call::WinUsb_QueryInterfaceSettings:
        return "WinUsb_QueryInterfaceSettings";
    case Call::WinUsb_QueryPipe:
        return "WinUsb_QueryPipe";
    case Call::WinUsb_SetPipePolicy:
        return "WinUsb_SetPipePolicy";
    case Call::WinUsb_ControlTransfer:
        return "WinUsb_ControlTransfer";
    case Call::WinUsb_ReadPipe:
        return "WinUsb_ReadPipe";
    }
    return "?";
}

void Reset() {
    for (void* block : S().blocks)
        std::free(block);
    S() = State{};
}

void SetDevice(const Device& device) {
    S().device = device;
}
const Device& CurrentDevice() {
    return S().device;
}

void Unplug() {
    S().plugged = false;
    ++S().generation;
}
void Replug() {
    S().plugged = true;
}
bool Plugged() {
    return S().plugged;
}

void QueueReport(const std::vector<std::uint8_t>& report) {
    S().input.push_back(Input{false, report});
}
void QueueTimeout() {
    S().input.push_back(Input{true, {}});
}
std::size_t PendingInput() {
    return S().input.size();
}

void FailCall(Call call, unsigned nth, DWORD error, bool sticky) {
    S().faults.push_back(Fault{call, nth, error, sticky});
}

const std::vector<CallRecord>& Calls() {
    return S().calls;
}
std::vector<CallRecord> CallsOf(Call call) {
    std::vector<CallRecord> out;
    for (const CallRecord& r : S().calls)
        if (r.call == call)
            out.push_back(r);
    return out;
}
unsigned CountOf(Call call) {
    auto it = S().counts.find(call);
    return it == S().counts.end() ? 0 : it->second;
}
void ClearCalls() {
    S().calls.clear();
}

OpenCounts Open() {
    OpenCounts c;
    c.deviceInfoSets = static_cast<int>(S().sets.size());
    c.detailBuffers = static_cast<int>(S().blocks.size());
    c.files = static_cast<int>(S().files.size());
    c.interfaces = static_cast<int>(S().interfaces.size());
    return c;
}

const std::vector<ReceivedFrame>& Frames() {
    return S().frames;
}
void OnFrame(std::function<void(const ReceivedFrame&)> callback) {
    S().onFrame = std::move(callback);
}

DWORD Now() {
    SyncClock();
    return S().clock;
}
std::vector<DWORD> Sleeps() {
    return S().sleeps;
}

void SetRealTime(bool on) {
    State& s = S();
    SyncClock();
    s.realTime = on;
    s.realStart = std::chrono::steady_clock::now();
    s.clockAtRealStart = s.clock;
}
bool RealTime() {
    return S().realTime;
}

} // namespace virtual_pendant

using namespace virtual_pendant;

// ---- kernel32 ---------------------------------------------------------------

DWORD WINAPI GetLastError() {
    ++S().counts[Call::GetLastError];
    Record(Call::GetLastError, {});
    return S().lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    ++S().counts[Call::SetLastError];
    Record(Call::SetLastError, {dwErrCode});
    S().lastError = dwErrCode;
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    CallRecord& r = Record(Call::CreateFileA,
                           {dwDesiredAccess, dwShareMode, Given(lpSecurityAttributes),
                            dwCreationDisposition, dwFlagsAndAttributes, Given(hTemplateFile)});
    if (lpFileName != nullptr)
        r.bytes.assign(lpFileName, lpFileName + std::strlen(lpFileName));
    DWORD error = 0;
    if (Injected(Call::CreateFileA, error))
        return Fail(r, error, INVALID_HANDLE_VALUE);
    if (lpFileName == nullptr || !Visible() || S().device.path != lpFileName)
        return Finish(r, ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    return Finish(r, ERROR_SUCCESS, NewHandle(S().files));
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    CallRecord& r = Record(Call::CloseHandle, {reinterpret_cast<std::uintptr_t>(hObject)});
    DWORD error = 0;
    if (Injected(Call::CloseHandle, error))
        return Fail(r, error, FALSE);
    if (!Known(S().files, hObject))
        return Finish(r, ERROR_INVALID_HANDLE, FALSE);
    S().files.erase(reinterpret_cast<std::uintptr_t>(hObject));
    return Finish(r, ERROR_SUCCESS, TRUE);
}

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    CallRecord& r = Record(Call::LocalAlloc, {uFlags, uBytes});
    DWORD error = 0;
    if (Injected(Call::LocalAlloc, error))
        return Fail(r, error, static_cast<HLOCAL>(nullptr));
    void* block = std::malloc(uBytes == 0 ? 1 : uBytes);
    if (block == nullptr)
        return Finish(r, ERROR_NOT_ENOUGH_MEMORY, static_cast<HLOCAL>(nullptr));
    if (uFlags & LMEM_ZEROINIT)
        std::memset(block, 0, uBytes);
    S().blocks.insert(block);
    return Finish(r, ERROR_SUCCESS, static_cast<HLOCAL>(block));
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    CallRecord& r = Record(Call::LocalFree, {Given(hMem)});
    DWORD error = 0;
    if (Injected(Call::LocalFree, error))
        return Fail(r, error, hMem);
    if (hMem == nullptr)
        return Finish(r, ERROR_SUCCESS, static_cast<HLOCAL>(nullptr));
    if (S().blocks.erase(hMem) == 0)
        return Finish(r, ERROR_INVALID_HANDLE, hMem);
    std::free(hMem);
    return Finish(r, ERROR_SUCCESS, static_cast<HLOCAL>(nullptr));
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    ++S().counts[Call::Sleep];
    Record(Call::Sleep, {dwMilliseconds});
    S().sleeps.push_back(dwMilliseconds);
    Wait(dwMilliseconds);
}

DWORD WINAPI GetTickCount() {
    ++S().counts[Call::GetTickCount];
    Record(Call::GetTickCount, {});
    SyncClock();
    return S().clock;
}

// ---- SetupAPI ---------------------------------------------------------------

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent,
                                     DWORD Flags) {
    CallRecord& r = Record(Call::SetupDiGetClassDevsA,
                           {Given(ClassGuid), Given(Enumerator), Given(hwndParent), Flags});
    if (ClassGuid != nullptr)
        r.bytes.assign(reinterpret_cast<const std::uint8_t*>(ClassGuid),
                       reinterpret_cast<const std::uint8_t*>(ClassGuid) + sizeof(GUID));
    DWORD error = 0;
    if (Injected(Call::SetupDiGetClassDevsA, error))
        return Fail(r, error, static_cast<HDEVINFO>(INVALID_HANDLE_VALUE));
    if (ClassGuid == nullptr || !(Flags & DIGCF_DEVICEINTERFACE))
        return Finish(r, ERROR_INVALID_PARAMETER, static_cast<HDEVINFO>(INVALID_HANDLE_VALUE));
    return Finish(r, ERROR_SUCCESS, static_cast<HDEVINFO>(NewHandle(S().sets)));
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    CallRecord& r = Record(Call::SetupDiEnumDeviceInterfaces,
                           {reinterpret_cast<std::uintptr_t>(DeviceInfoSet), Given(DeviceInfoData),
                            Given(InterfaceClassGuid), MemberIndex,
                            DeviceInterfaceData != nullptr ? DeviceInterfaceData->cbSize : 0});
    DWORD error = 0;
    if (Injected(Call::SetupDiEnumDeviceInterfaces, error))
        return Fail(r, error, FALSE);
    if (!Known(S().sets, DeviceInfoSet))
        return Finish(r, ERROR_INVALID_HANDLE, FALSE);
    if (DeviceInterfaceData == nullptr ||
        DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return Finish(r, ERROR_INVALID_USER_BUFFER_, FALSE);
    const bool listed = Visible() && InterfaceClassGuid != nullptr &&
                        *InterfaceClassGuid == S().device.interfaceGuid;
    if (!listed || MemberIndex != 0)
        return Finish(r, ERROR_NO_MORE_ITEMS, FALSE);
    DeviceInterfaceData->InterfaceClassGuid = *InterfaceClassGuid;
    DeviceInterfaceData->Flags = 1; // active
    DeviceInterfaceData->Reserved = reinterpret_cast<ULONG_PTR>(DeviceInfoSet);
    return Finish(r, ERROR_SUCCESS, TRUE);
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData) {
    DWORD detailCbSize = 0;
    if (DeviceInterfaceDetailData != nullptr)
        std::memcpy(&detailCbSize, DeviceInterfaceDetailData, sizeof detailCbSize);
    CallRecord& r =
        Record(Call::SetupDiGetDeviceInterfaceDetailA,
               {reinterpret_cast<std::uintptr_t>(DeviceInfoSet), Given(DeviceInterfaceData),
                Given(DeviceInterfaceDetailData), DeviceInterfaceDetailDataSize,
                Given(RequiredSize), Given(DeviceInfoData), detailCbSize});
    DWORD error = 0;
    if (Injected(Call::SetupDiGetDeviceInterfaceDetailA, error))
        return Fail(r, error, FALSE);
    if (!Known(S().sets, DeviceInfoSet) || DeviceInterfaceData == nullptr ||
        DeviceInterfaceData->Reserved != reinterpret_cast<ULONG_PTR>(DeviceInfoSet))
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    const std::string& path = S().device.path;
    const DWORD required = static_cast<DWORD>(
        offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    if (RequiredSize != nullptr)
        *RequiredSize = required;
    if (DeviceInterfaceDetailData == nullptr) {
        if (DeviceInterfaceDetailDataSize != 0)
            return Finish(r, ERROR_INVALID_USER_BUFFER_, FALSE);
        return Finish(r, ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    if (detailCbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return Finish(r, ERROR_INVALID_USER_BUFFER_, FALSE);
    if (DeviceInterfaceDetailDataSize < required)
        return Finish(r, ERROR_INSUFFICIENT_BUFFER, FALSE);
    std::memcpy(DeviceInterfaceDetailData->DevicePath, path.c_str(), path.size() + 1);
    return Finish(r, ERROR_SUCCESS, TRUE);
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    CallRecord& r = Record(Call::SetupDiDestroyDeviceInfoList,
                           {reinterpret_cast<std::uintptr_t>(DeviceInfoSet)});
    DWORD error = 0;
    if (Injected(Call::SetupDiDestroyDeviceInfoList, error))
        return Fail(r, error, FALSE);
    if (S().sets.erase(reinterpret_cast<std::uintptr_t>(DeviceInfoSet)) == 0)
        return Finish(r, ERROR_INVALID_HANDLE, FALSE);
    return Finish(r, ERROR_SUCCESS, TRUE);
}

// ---- WinUSB -----------------------------------------------------------------

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
    if (Buffer != nullptr)
        r.bytes.insert(r.bytes.end(), Buffer, Buffer + BufferLength);
    DWORD error = 0;
    if (Injected(Call::WinUsb_ControlTransfer, error) ||
        (error = InterfaceError(InterfaceHandle)) != ERROR_SUCCESS)
        return Fail(r, error, FALSE);
    if (Overlapped != nullptr || (Buffer == nullptr && BufferLength != 0) ||
        BufferLength != SetupPacket.Length)
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    if (LengthTransferred != nullptr)
        *LengthTransferred = BufferLength;
    const BOOL ok = Finish(r, ERROR_SUCCESS, TRUE);
    // Last, since a frame callback may itself call into the platform.
    if (pendant_side::IsDisplaySetReport(setup))
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

    // The pendant sends each report as packets of the pipe's size; a read
    // takes packets until a short one or a full buffer, as on the bus. A
    // report that fills its last packet does not end the read, and a read
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
        if (in.sent >= in.report.size())
            s.input.pop_front();
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
