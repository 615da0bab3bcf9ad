// The system's HID driver as the virtual pendant plays it: HID devices by
// their descriptions (hid.dll), and the overlapped reads of kernel32. Time
// is the virtual clock: a wait with nothing to deliver moves it on by the
// time waited.
#include <algorithm>
#include <array>
#include <cstring>

#include "backends/virtual/state.h"
#include "protocol/hid_requests.h"

using namespace virtual_pendant;

namespace {

const std::vector<std::uint8_t>& DescriptorOf(std::size_t target) {
    return target == 0 ? S().device.reportDescriptor
                       : S().device.otherHid[target - 1].reportDescriptor;
}

// The file's record when it is a HID device that may be used now; else 0
// and error says why.
const Issued* HidFile(HANDLE h, DWORD& error) {
    const auto it = S().files.find(reinterpret_cast<std::uintptr_t>(h));
    if (it == S().files.end()) {
        error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (it->second.target == 0) {
        if (!(S().device.interfaceGuid == HidInterfaceClassGuid)) {
            error = ERROR_INVALID_FUNCTION; // bound to WinUSB, not a HID device
            return nullptr;
        }
        if (!Live(S().files, h)) {
            error = ERROR_DEVICE_NOT_CONNECTED;
            return nullptr;
        }
    }
    error = ERROR_SUCCESS;
    return &it->second;
}

std::size_t InputLength() {
    const auto& d = S().device.reportDescriptor;
    return protocol::DescribeReports(d.data(), d.size()).Longest(protocol::ReportType::Input);
}

// Ends the read with what the pendant sends next, if it sends something now:
// a whole report, laid out at the input report length as the driver does.
bool Deliver(PendingRead& read) {
    State& s = S();
    if (s.input.empty() || s.input.front().timeout)
        return false;
    const std::vector<std::uint8_t> report = s.input.front().report;
    s.input.pop_front();
    if (!report.empty())
        s.hid.lastInput = report; // what GET_REPORT (input) gives from now on
    std::memset(read.buffer, 0, read.length);
    std::memcpy(read.buffer, report.data(), std::min<std::size_t>(report.size(), read.length));
    read.ended = true;
    read.error = ERROR_SUCCESS;
    read.bytes = static_cast<DWORD>(std::min<std::size_t>(InputLength(), read.length));
    return true;
}

void End(PendingRead& read, DWORD error) {
    read.ended = true;
    read.error = error;
    read.bytes = 0;
}

void SetEventOf(const PendingRead& read) {
    const auto it = S().events.find(reinterpret_cast<std::uintptr_t>(read.overlapped->hEvent));
    if (it != S().events.end())
        it->second = true;
}

// The read a wait on this event is for, if one is under way.
std::pair<const std::uintptr_t, PendingRead>* ReadOf(HANDLE event) {
    for (auto& entry : S().reads)
        if (entry.second.overlapped->hEvent == event)
            return &entry;
    return nullptr;
}

} // namespace

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                           BOOL bInitialState, LPCSTR lpName) {
    CallRecord& r = Record(Call::CreateEventA,
                           {Given(lpEventAttributes), static_cast<std::uint64_t>(bManualReset),
                            static_cast<std::uint64_t>(bInitialState), Given(lpName)});
    DWORD error = 0;
    if (Injected(Call::CreateEventA, error))
        return Fail(r, error, static_cast<HANDLE>(nullptr));
    std::map<std::uintptr_t, Issued> scratch;
    const auto h = reinterpret_cast<std::uintptr_t>(NewHandle(scratch));
    S().events[h] = bInitialState != FALSE;
    return Finish(r, ERROR_SUCCESS, reinterpret_cast<HANDLE>(h));
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    CallRecord& r =
        Record(Call::ReadFile, {reinterpret_cast<std::uintptr_t>(hFile), nNumberOfBytesToRead,
                                Given(lpNumberOfBytesRead), Given(lpOverlapped)});
    DWORD error = 0;
    if (Injected(Call::ReadFile, error))
        return Fail(r, error, FALSE);
    const Issued* file = HidFile(hFile, error);
    if (file == nullptr)
        return Fail(r, error, FALSE);
    if (!(file->access & GENERIC_READ))
        return Finish(r, ERROR_ACCESS_DENIED, FALSE);
    if (lpBuffer == nullptr || lpOverlapped == nullptr ||
        S().events.count(reinterpret_cast<std::uintptr_t>(lpOverlapped->hEvent)) == 0 ||
        S().reads.count(reinterpret_cast<std::uintptr_t>(hFile)) != 0)
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    if (nNumberOfBytesToRead < InputLength())
        return Finish(r, ERROR_INVALID_USER_BUFFER, FALSE);
    S().events[reinterpret_cast<std::uintptr_t>(lpOverlapped->hEvent)] = false;
    PendingRead& read = S().reads[reinterpret_cast<std::uintptr_t>(hFile)] =
        PendingRead{static_cast<std::uint8_t*>(lpBuffer), nNumberOfBytesToRead, lpOverlapped};
    if (!Deliver(read))
        return Finish(r, ERROR_IO_PENDING, FALSE);
    r.bytes.assign(read.buffer, read.buffer + read.bytes);
    if (lpNumberOfBytesRead != nullptr)
        *lpNumberOfBytesRead = read.bytes;
    SetEventOf(read);
    return Finish(r, ERROR_SUCCESS, TRUE);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    CallRecord& r = Record(Call::WaitForSingleObject,
                           {reinterpret_cast<std::uintptr_t>(hHandle), dwMilliseconds});
    DWORD error = 0;
    if (Injected(Call::WaitForSingleObject, error))
        return Fail(r, error, static_cast<DWORD>(WAIT_FAILED));
    const auto event = S().events.find(reinterpret_cast<std::uintptr_t>(hHandle));
    if (event == S().events.end())
        return Finish(r, ERROR_INVALID_HANDLE, static_cast<DWORD>(WAIT_FAILED));
    if (event->second)
        return Finish(r, ERROR_SUCCESS, static_cast<DWORD>(WAIT_OBJECT_0));
    if (auto* entry = ReadOf(hHandle); entry != nullptr && !entry->second.ended) {
        PendingRead& read = entry->second;
        const HANDLE file = reinterpret_cast<HANDLE>(entry->first);
        if (!Live(S().files, file))
            End(read, ERROR_DEVICE_NOT_CONNECTED);
        else if (Deliver(read))
            r.bytes.assign(read.buffer, read.buffer + read.bytes);
        if (read.ended) {
            event->second = true;
            return Finish(r, ERROR_SUCCESS, static_cast<DWORD>(WAIT_OBJECT_0));
        }
        // A time-out the pendant was told to take is this wait's.
        if (!S().input.empty() && S().input.front().timeout)
            S().input.pop_front();
    }
    Wait(dwMilliseconds);
    return Finish(r, ERROR_SUCCESS, static_cast<DWORD>(WAIT_TIMEOUT));
}

BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                                LPDWORD lpNumberOfBytesTransferred, BOOL bWait) {
    CallRecord& r = Record(Call::GetOverlappedResult,
                           {reinterpret_cast<std::uintptr_t>(hFile), Given(lpOverlapped),
                            Given(lpNumberOfBytesTransferred), static_cast<std::uint64_t>(bWait)});
    DWORD error = 0;
    if (Injected(Call::GetOverlappedResult, error))
        return Fail(r, error, FALSE);
    const auto it = S().reads.find(reinterpret_cast<std::uintptr_t>(hFile));
    if (it == S().reads.end() || it->second.overlapped != lpOverlapped ||
        lpNumberOfBytesTransferred == nullptr)
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    PendingRead& read = it->second;
    if (!read.ended && bWait) {
        if (!Live(S().files, hFile))
            End(read, ERROR_DEVICE_NOT_CONNECTED);
        else
            Deliver(read);
    }
    // Waiting for ever for a report that is never queued cannot be
    // played: the virtual pendant answers as if it were not asked to wait.
    if (!read.ended)
        return Finish(r, ERROR_IO_INCOMPLETE, FALSE);
    const PendingRead done = read;
    S().reads.erase(it);
    if (done.error != ERROR_SUCCESS)
        return Finish(r, done.error, FALSE);
    r.bytes.assign(done.buffer, done.buffer + done.bytes);
    *lpNumberOfBytesTransferred = done.bytes;
    return Finish(r, ERROR_SUCCESS, TRUE);
}

BOOL WINAPI CancelIo(HANDLE hFile) {
    CallRecord& r = Record(Call::CancelIo, {reinterpret_cast<std::uintptr_t>(hFile)});
    DWORD error = 0;
    if (Injected(Call::CancelIo, error))
        return Fail(r, error, FALSE);
    if (!Known(S().files, hFile))
        return Finish(r, ERROR_INVALID_HANDLE, FALSE);
    const auto it = S().reads.find(reinterpret_cast<std::uintptr_t>(hFile));
    if (it != S().reads.end() && !it->second.ended) {
        End(it->second, ERROR_OPERATION_ABORTED);
        SetEventOf(it->second);
    }
    return Finish(r, ERROR_SUCCESS, TRUE);
}

void WINAPI HidD_GetHidGuid(LPGUID HidGuid) {
    Record(Call::HidD_GetHidGuid, {Given(HidGuid)});
    ++S().counts[Call::HidD_GetHidGuid];
    if (HidGuid != nullptr)
        *HidGuid = HidInterfaceClassGuid;
}

BOOLEAN WINAPI HidD_GetAttributes(HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes) {
    CallRecord& r = Record(Call::HidD_GetAttributes,
                           {reinterpret_cast<std::uintptr_t>(HidDeviceObject), Given(Attributes)});
    DWORD error = 0;
    if (Injected(Call::HidD_GetAttributes, error))
        return Fail(r, error, BOOLEAN{FALSE});
    const Issued* file = HidFile(HidDeviceObject, error);
    if (file == nullptr)
        return Fail(r, error, BOOLEAN{FALSE});
    if (Attributes == nullptr)
        return Finish(r, ERROR_INVALID_PARAMETER, BOOLEAN{FALSE});
    Attributes->Size = sizeof(HIDD_ATTRIBUTES);
    if (file->target == 0) {
        Attributes->VendorID = S().device.descriptor.idVendor;
        Attributes->ProductID = S().device.descriptor.idProduct;
        Attributes->VersionNumber = S().device.descriptor.bcdDevice;
    } else {
        const OtherHidDevice& other = S().device.otherHid[file->target - 1];
        Attributes->VendorID = other.vendorId;
        Attributes->ProductID = other.productId;
        Attributes->VersionNumber = 0x0100;
    }
    return Finish(r, ERROR_SUCCESS, BOOLEAN{TRUE});
}

BOOLEAN WINAPI HidD_GetPreparsedData(HANDLE HidDeviceObject, PHIDP_PREPARSED_DATA* PreparsedData) {
    CallRecord& r =
        Record(Call::HidD_GetPreparsedData,
               {reinterpret_cast<std::uintptr_t>(HidDeviceObject), Given(PreparsedData)});
    DWORD error = 0;
    if (Injected(Call::HidD_GetPreparsedData, error))
        return Fail(r, error, BOOLEAN{FALSE});
    const Issued* file = HidFile(HidDeviceObject, error);
    if (file == nullptr)
        return Fail(r, error, BOOLEAN{FALSE});
    if (PreparsedData == nullptr)
        return Finish(r, ERROR_INVALID_PARAMETER, BOOLEAN{FALSE});
    const std::vector<std::uint8_t>& d = DescriptorOf(file->target);
    auto* data = new _HIDP_PREPARSED_DATA{protocol::DescribeReports(d.data(), d.size())};
    S().preparsed.insert(data);
    *PreparsedData = data;
    return Finish(r, ERROR_SUCCESS, BOOLEAN{TRUE});
}

BOOLEAN WINAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA PreparsedData) {
    CallRecord& r = Record(Call::HidD_FreePreparsedData, {Given(PreparsedData)});
    DWORD error = 0;
    if (Injected(Call::HidD_FreePreparsedData, error))
        return Fail(r, error, BOOLEAN{FALSE});
    if (S().preparsed.erase(PreparsedData) == 0)
        return Finish(r, ERROR_INVALID_PARAMETER, BOOLEAN{FALSE});
    delete PreparsedData;
    return Finish(r, ERROR_SUCCESS, BOOLEAN{TRUE});
}

NTSTATUS WINAPI HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, PHIDP_CAPS Capabilities) {
    CallRecord& r = Record(Call::HidP_GetCaps, {Given(PreparsedData), Given(Capabilities)});
    DWORD error = 0;
    // hid.dll's parsing calls leave the last error alone.
    if (Injected(Call::HidP_GetCaps, error) || S().preparsed.count(PreparsedData) == 0 ||
        Capabilities == nullptr) {
        r.succeeded = false;
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    const protocol::ReportLayout& layout = PreparsedData->layout;
    *Capabilities = HIDP_CAPS{};
    Capabilities->UsagePage = layout.usagePage;
    Capabilities->Usage = layout.usage;
    using protocol::ReportType;
    Capabilities->InputReportByteLength = static_cast<USHORT>(layout.Longest(ReportType::Input));
    Capabilities->OutputReportByteLength = static_cast<USHORT>(layout.Longest(ReportType::Output));
    Capabilities->FeatureReportByteLength =
        static_cast<USHORT>(layout.Longest(ReportType::Feature));
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS WINAPI HidP_InitializeReportForID(HIDP_REPORT_TYPE ReportType, UCHAR ReportID,
                                           PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report,
                                           ULONG ReportLength) {
    CallRecord& r = Record(Call::HidP_InitializeReportForID,
                           {static_cast<std::uint64_t>(ReportType), ReportID, Given(PreparsedData),
                            Given(Report), ReportLength});
    DWORD error = 0;
    if (Injected(Call::HidP_InitializeReportForID, error) ||
        S().preparsed.count(PreparsedData) == 0) {
        r.succeeded = false;
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    if (ReportType < HidP_Input || ReportType > HidP_Feature) {
        r.succeeded = false;
        return HIDP_STATUS_INVALID_REPORT_TYPE;
    }
    const auto type = static_cast<protocol::ReportType>(ReportType);
    const protocol::ReportLayout& layout = PreparsedData->layout;
    r.succeeded = false;
    if (ReportLength != layout.Longest(type) || Report == nullptr)
        return HIDP_STATUS_INVALID_REPORT_LENGTH;
    if (layout.Bytes(type, layout.usesIds ? ReportID : 0) == 0 ||
        (!layout.usesIds && ReportID != 0))
        return HIDP_STATUS_REPORT_DOES_NOT_EXIST;
    std::memset(Report, 0, ReportLength);
    Report[0] = static_cast<char>(ReportID);
    r.succeeded = true;
    return HIDP_STATUS_SUCCESS;
}

BOOLEAN WINAPI HidD_SetFeature(HANDLE HidDeviceObject, PVOID ReportBuffer,
                               ULONG ReportBufferLength) {
    CallRecord& r =
        Record(Call::HidD_SetFeature, {reinterpret_cast<std::uintptr_t>(HidDeviceObject),
                                       Given(ReportBuffer), ReportBufferLength});
    const auto* report = static_cast<const std::uint8_t*>(ReportBuffer);
    if (report != nullptr)
        r.bytes.assign(report, report + ReportBufferLength);
    DWORD error = 0;
    if (Injected(Call::HidD_SetFeature, error))
        return Fail(r, error, BOOLEAN{FALSE});
    const Issued* file = HidFile(HidDeviceObject, error);
    if (file == nullptr)
        return Fail(r, error, BOOLEAN{FALSE});
    if (!(file->access & GENERIC_WRITE))
        return Finish(r, ERROR_ACCESS_DENIED, BOOLEAN{FALSE});
    const std::vector<std::uint8_t>& d = DescriptorOf(file->target);
    if (report == nullptr || ReportBufferLength == 0 ||
        ReportBufferLength !=
            protocol::DescribeReports(d.data(), d.size()).Longest(protocol::ReportType::Feature))
        return Finish(r, ERROR_INVALID_PARAMETER, BOOLEAN{FALSE});
    if (file->target != 0) // no other device is played beyond what it is
        return Finish(r, ERROR_GEN_FAILURE, BOOLEAN{FALSE});
    // The driver's SET_REPORT, answered as the pendant answers it.
    const SetupPacket request = {
        HidRequestTypeClassInterfaceOut, HidSetReport,
        static_cast<std::uint16_t>((HidReportTypeFeature << 8) | report[0]),
        S().device.iface.bInterfaceNumber, static_cast<std::uint16_t>(ReportBufferLength)};
    const std::array<std::uint8_t, 8> bytes = SetupBytes(request);
    const std::uint8_t* packet = bytes.data();
    if (protocol::AnswerHidRequest(packet, HidState()).outcome == protocol::HidOutcome::Stall)
        return Finish(r, ERROR_GEN_FAILURE, BOOLEAN{FALSE});
    protocol::TakeHidRequest(packet, report, ReportBufferLength, HidState());
    const BOOLEAN ok = Finish(r, ERROR_SUCCESS, BOOLEAN{TRUE});
    // Last, since a frame callback may itself call into the platform.
    if (protocol::IsDisplaySetReport(packet))
        virtual_pendant::Deliver(report);
    return ok;
}
