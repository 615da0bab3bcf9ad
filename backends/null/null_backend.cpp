// Trivial bodies for the stand-in platform functions. Each does the least
// that keeps the core on its normal path: handles are fixed non-invalid
// values, discovery finds one short path, reads time out or copy one canned
// report. No bookkeeping beyond two counters.
#include "backends/null/null_backend.h"

#include <cstdlib>
#include <cstring>

#include "usb/platform_advice.h"
#include "usb/winapi.h"

namespace {

// Per thread, as on the platform.
thread_local DWORD lastError = ERROR_SUCCESS;
// A fixed 8-byte copy, so that delivering a report costs one move.
std::uint8_t canned[8] = {};
bool haveReport = false;
ULONG cannedLength = 0;
bool unplugged = false;
null_backend::Counts counts = {0, 0, 0};

// Distinct, never INVALID_HANDLE_VALUE, never dereferenced.
HANDLE const DeviceInfoSet = reinterpret_cast<HANDLE>(0x10);
HANDLE const DeviceFile = reinterpret_cast<HANDLE>(0x20);
HANDLE const Interface = reinterpret_cast<HANDLE>(0x30);
HANDLE const Event = reinterpret_cast<HANDLE>(0x40);
// The HID path's one read: under way, or ended with the canned report.
bool readPending = false;
bool readEnded = false;

bool Valid(HANDLE h) {
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

constexpr char Path[] = "null-pendant";

} // namespace

namespace null_backend {

void SetReport(const std::uint8_t* report, std::size_t length) {
    haveReport = report != nullptr;
    cannedLength =
        haveReport ? static_cast<ULONG>(length < sizeof canned ? length : sizeof canned) : 0;
    std::memset(canned, 0, sizeof canned);
    if (haveReport)
        std::memcpy(canned, report, cannedLength);
}

Counts Calls() {
    return counts;
}

void ResetCalls() {
    counts = Counts{0, 0, 0};
}

void SetUnplugged(bool on) {
    unplugged = on;
}

} // namespace null_backend

// ---- kernel32 ---------------------------------------------------------------

DWORD WINAPI GetLastError() {
    return lastError;
}
void WINAPI SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}
HANDLE WINAPI CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    return DeviceFile;
}
BOOL WINAPI CloseHandle(HANDLE) {
    return TRUE;
}
HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    const SIZE_T n = uBytes == 0 ? 1 : uBytes;
    return (uFlags & LMEM_ZEROINIT) ? std::calloc(1, n) : std::malloc(n);
}
HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    std::free(hMem);
    return nullptr;
}
void WINAPI Sleep(DWORD) {}
DWORD WINAPI GetTickCount() {
    return 0;
}
BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE, BOOL) {
    return TRUE;
}

// ---- SetupAPI ---------------------------------------------------------------

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID*, PCSTR, HWND, DWORD) {
    ++counts.discoveries;
    return DeviceInfoSet;
}
BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA) {
    if (MemberIndex == 0 && !unplugged)
        return TRUE;
    lastError = ERROR_NO_MORE_ITEMS;
    return FALSE;
}
BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                             PDWORD RequiredSize, PSP_DEVINFO_DATA) {
    const DWORD required =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + sizeof Path);
    if (RequiredSize != nullptr)
        *RequiredSize = required;
    if (detail == nullptr || size < required) {
        lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    std::memcpy(detail->DevicePath, Path, sizeof Path);
    return TRUE;
}
BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO) {
    return TRUE;
}

// ---- WinUSB -----------------------------------------------------------------

BOOL WINAPI WinUsb_Initialize(HANDLE, PWINUSB_INTERFACE_HANDLE InterfaceHandle) {
    *InterfaceHandle = Interface;
    return TRUE;
}
BOOL WINAPI WinUsb_Free(WINUSB_INTERFACE_HANDLE) {
    return TRUE;
}
BOOL WINAPI WinUsb_GetDescriptor(WINUSB_INTERFACE_HANDLE, UCHAR, UCHAR, USHORT, PUCHAR, ULONG,
                                 PULONG LengthTransferred) {
    *LengthTransferred = 0;
    return TRUE;
}
BOOL WINAPI WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE, UCHAR,
                                          PUSB_INTERFACE_DESCRIPTOR descriptor) {
    *descriptor = USB_INTERFACE_DESCRIPTOR{9, USB_INTERFACE_DESCRIPTOR_TYPE, 0, 0, 1, 3, 0, 0, 0};
    return TRUE;
}
BOOL WINAPI WinUsb_QueryPipe(WINUSB_INTERFACE_HANDLE, UCHAR, UCHAR,
                             PWINUSB_PIPE_INFORMATION PipeInformation) {
    *PipeInformation = WINUSB_PIPE_INFORMATION{UsbdPipeTypeInterrupt, 0x81, 8, 1};
    return TRUE;
}
BOOL WINAPI WinUsb_QueryDeviceInformation(WINUSB_INTERFACE_HANDLE, ULONG InformationType,
                                          PULONG BufferLength, PVOID Buffer) {
    if (InformationType != DEVICE_SPEED || BufferLength == nullptr || *BufferLength < 1 ||
        Buffer == nullptr) {
        lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    *static_cast<UCHAR*>(Buffer) = FullSpeed;
    *BufferLength = 1;
    return TRUE;
}
BOOL WINAPI WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE, UCHAR, ULONG, ULONG, PVOID) {
    return TRUE;
}
BOOL WINAPI WinUsb_ControlTransfer(WINUSB_INTERFACE_HANDLE, WINUSB_SETUP_PACKET SetupPacket, PUCHAR,
                                   ULONG BufferLength, PULONG LengthTransferred, LPOVERLAPPED) {
    ++counts.controlTransfers;
    // Takes whatever is sent; has nothing to answer (no report descriptor).
    if (SetupPacket.RequestType & USB_ENDPOINT_DIRECTION_MASK) {
        *LengthTransferred = 0;
        lastError = ERROR_GEN_FAILURE;
        return FALSE;
    }
    *LengthTransferred = BufferLength;
    return TRUE;
}
BOOL WINAPI WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE, UCHAR, PUCHAR Buffer, ULONG BufferLength,
                            PULONG LengthTransferred, LPOVERLAPPED) {
    ++counts.reads;
    if (unplugged) {
        lastError = ERROR_DEVICE_NOT_CONNECTED;
        return FALSE;
    }
    if (!haveReport || BufferLength < sizeof canned) {
        lastError = ERROR_SEM_TIMEOUT;
        return FALSE;
    }
    std::memcpy(Buffer, canned, sizeof canned);
    *LengthTransferred = cannedLength;
    return TRUE;
}

// ---- The HID path -------------------------------------------------------------
// The null pendant on the system's HID driver: input report 4 and feature
// report 6, 8 bytes each; a read ends at once with the canned report, or
// stays under way, each wait on it timing out at once.

struct _HIDP_PREPARSED_DATA {};
namespace {
_HIDP_PREPARSED_DATA preparsed;
} // namespace

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR) {
    return Event;
}
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD, LPDWORD, LPOVERLAPPED) {
    if (!Valid(hFile)) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    ++counts.reads;
    if (unplugged) {
        lastError = ERROR_DEVICE_NOT_CONNECTED;
        return FALSE;
    }
    if (!haveReport) {
        readPending = true;
        lastError = ERROR_IO_PENDING;
        return FALSE;
    }
    std::memcpy(lpBuffer, canned, sizeof canned);
    readEnded = true;
    return TRUE;
}
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD) {
    if (!Valid(hHandle)) {
        lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    return readEnded ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}
BOOL WINAPI GetOverlappedResult(HANDLE, LPOVERLAPPED, LPDWORD transferred, BOOL) {
    if (!readEnded) {
        lastError = readPending ? ERROR_IO_INCOMPLETE : ERROR_OPERATION_ABORTED;
        readPending = false;
        return FALSE;
    }
    readEnded = false;
    *transferred = sizeof canned;
    return TRUE;
}
BOOL WINAPI CancelIo(HANDLE hFile) {
    if (!Valid(hFile)) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    return TRUE;
}
void WINAPI HidD_GetHidGuid(LPGUID HidGuid) {
    *HidGuid = GUID{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
}
BOOLEAN WINAPI HidD_GetAttributes(HANDLE h, PHIDD_ATTRIBUTES Attributes) {
    if (!Valid(h)) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    *Attributes = HIDD_ATTRIBUTES{sizeof(HIDD_ATTRIBUTES), 0xFFF0, 0x0001, 0x0100};
    return TRUE;
}
BOOLEAN WINAPI HidD_GetPreparsedData(HANDLE h, PHIDP_PREPARSED_DATA* PreparsedData) {
    if (!Valid(h)) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    *PreparsedData = &preparsed;
    return TRUE;
}
BOOLEAN WINAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA PreparsedData) {
    return PreparsedData == &preparsed;
}
NTSTATUS WINAPI HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, PHIDP_CAPS Capabilities) {
    if (PreparsedData != &preparsed)
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    *Capabilities = HIDP_CAPS{};
    Capabilities->UsagePage = 0xFF00;
    Capabilities->Usage = 1;
    Capabilities->InputReportByteLength = 8;
    Capabilities->FeatureReportByteLength = 8;
    return HIDP_STATUS_SUCCESS;
}
NTSTATUS WINAPI HidP_InitializeReportForID(HIDP_REPORT_TYPE, UCHAR ReportID, PHIDP_PREPARSED_DATA,
                                           PCHAR Report, ULONG ReportLength) {
    std::memset(Report, 0, ReportLength);
    Report[0] = static_cast<char>(ReportID);
    return HIDP_STATUS_SUCCESS;
}
BOOLEAN WINAPI HidD_SetFeature(HANDLE h, PVOID, ULONG) {
    if (!Valid(h)) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    ++counts.controlTransfers;
    return TRUE;
}

// ---- The backend's advice -----------------------------------------------------

void PrintPlatformAdvice() {}
