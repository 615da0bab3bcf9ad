// Stand-in for the parts of <windows.h>, <setupapi.h>, <winusb.h>,
// <hidsdi.h>, <hidpi.h> and <strsafe.h> that the core uses, for platforms other than Windows.
// Names, types, constants and signatures follow the Windows headers so that the core compiles
// unchanged against either. The platform functions, each with what the core relies on, are declared
// at the bottom from platform_calls.inc and supplied by exactly one backend at link time (virtual,
// Linux, null); the pure helpers (HRESULT_FROM_WIN32, StringCbCopyA) are defined here, once.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Basic types -----------------------------------------------------------
using BOOL = int;
using BYTE = std::uint8_t;
using UCHAR = std::uint8_t;
using CHAR = char;
using USHORT = std::uint16_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t; // 32 bits on every platform, as on Windows
using ULONG = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using HRESULT = std::int32_t;
using SIZE_T = std::size_t;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using PVOID = void*;
using LPVOID = void*;
using HANDLE = void*;
using HWND = void*;
using HLOCAL = void*;
using HDEVINFO = void*;
using PUCHAR = UCHAR*;
using PULONG = ULONG*;
using PDWORD = DWORD*;
using LPDWORD = DWORD*;
using BOOLEAN = UCHAR;
using PCHAR = char*;
using NTSTATUS = LONG;
using PCSTR = const char*;
using LPCSTR = const char*;
using STRSAFE_LPSTR = char*;
using STRSAFE_LPCSTR = const char*;

#define WINAPI
#define TRUE 1
#define FALSE 0
#define ANYSIZE_ARRAY 1
#define MAX_PATH 260

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

using LPGUID = GUID*;
// An overlapped operation: the platform's own fields, and the event it
// signals when the operation ends.
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// ---- Win32 error codes and HRESULTs -----------------------------------------
#define ERROR_SUCCESS 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_BAD_COMMAND 22L
#define ERROR_GEN_FAILURE 31L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_SEM_TIMEOUT 121L
#define ERROR_BUSY 170L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_OPERATION_ABORTED 995L
#define ERROR_IO_INCOMPLETE 996L
#define ERROR_IO_PENDING 997L
#define ERROR_DEVICE_NOT_CONNECTED 1167L
#define ERROR_INVALID_USER_BUFFER 1784L

#define S_OK (static_cast<HRESULT>(0L))
#define E_OUTOFMEMORY (static_cast<HRESULT>(0x8007000EL))
#define STRSAFE_E_INSUFFICIENT_BUFFER (static_cast<HRESULT>(0x8007007AL))
#define STRSAFE_E_INVALID_PARAMETER (static_cast<HRESULT>(0x80070057L))
#define STRSAFE_MAX_CCH 2147483647
#define FACILITY_WIN32 7
#define SUCCEEDED(hr) ((static_cast<HRESULT>(hr)) >= 0)
#define FAILED(hr) ((static_cast<HRESULT>(hr)) < 0)

// Zero or negative passes through; a positive code becomes a failure in the
// Win32 facility, keeping its low 16 bits.
inline HRESULT HRESULT_FROM_WIN32(unsigned long x) {
    return static_cast<HRESULT>(x) <= 0
               ? static_cast<HRESULT>(x)
               : static_cast<HRESULT>((x & 0x0000FFFFUL) | (FACILITY_WIN32 << 16) | 0x80000000UL);
}

// Bounded copy with the strsafe contract: always terminated when cbDest > 0,
// truncation reported rather than silent.
inline HRESULT StringCbCopyA(STRSAFE_LPSTR pszDest, std::size_t cbDest, STRSAFE_LPCSTR pszSrc) {
    if (cbDest == 0 || cbDest > STRSAFE_MAX_CCH) {
        if (cbDest != 0 && pszDest != nullptr)
            *pszDest = '\0';
        return STRSAFE_E_INVALID_PARAMETER;
    }
    std::size_t i = 0;
    while (i < cbDest - 1 && pszSrc[i] != '\0') {
        pszDest[i] = pszSrc[i];
        ++i;
    }
    pszDest[i] = '\0';
    return pszSrc[i] == '\0' ? S_OK : STRSAFE_E_INSUFFICIENT_BUFFER;
}

// ---- kernel32 ---------------------------------------------------------------
#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL
#define FILE_SHARE_READ 0x00000001UL
#define FILE_SHARE_WRITE 0x00000002UL
#define OPEN_EXISTING 3UL
#define FILE_ATTRIBUTE_NORMAL 0x00000080UL
#define FILE_FLAG_OVERLAPPED 0x40000000UL
#define LMEM_FIXED 0x0000U
#define LMEM_ZEROINIT 0x0040U

// Console control events, as a console control handler is given them.
#define CTRL_C_EVENT 0
#define CTRL_BREAK_EVENT 1
#define CTRL_CLOSE_EVENT 2
using PHANDLER_ROUTINE = BOOL(WINAPI*)(DWORD CtrlType);

// What WaitForSingleObject returns.
#define WAIT_OBJECT_0 0x00000000UL
#define WAIT_TIMEOUT 0x00000102UL
#define WAIT_FAILED 0xFFFFFFFFUL

// ---- SetupAPI ---------------------------------------------------------------
#define DIGCF_DEFAULT 0x00000001UL
#define DIGCF_PRESENT 0x00000002UL
#define DIGCF_ALLCLASSES 0x00000004UL
#define DIGCF_PROFILE 0x00000008UL
#define DIGCF_DEVICEINTERFACE 0x00000010UL

struct SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
};
using PSP_DEVINFO_DATA = SP_DEVINFO_DATA*;

struct SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
};
using PSP_DEVICE_INTERFACE_DATA = SP_DEVICE_INTERFACE_DATA*;

// Byte-packed as in a 32-bit Windows build: the fixed part is 5 bytes there.
#pragma pack(push, 1)
struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
    DWORD cbSize;
    CHAR DevicePath[ANYSIZE_ARRAY];
};
#pragma pack(pop)
using PSP_DEVICE_INTERFACE_DETAIL_DATA_A = SP_DEVICE_INTERFACE_DETAIL_DATA_A*;

// ---- USB descriptors and WinUSB ---------------------------------------------
#define USB_DEVICE_DESCRIPTOR_TYPE 0x01
#define USB_CONFIGURATION_DESCRIPTOR_TYPE 0x02
#define USB_INTERFACE_DESCRIPTOR_TYPE 0x04
#define USB_ENDPOINT_DIRECTION_MASK 0x80

#pragma pack(push, 1)
struct USB_DEVICE_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdUSB;
    UCHAR bDeviceClass;
    UCHAR bDeviceSubClass;
    UCHAR bDeviceProtocol;
    UCHAR bMaxPacketSize0;
    USHORT idVendor;
    USHORT idProduct;
    USHORT bcdDevice;
    UCHAR iManufacturer;
    UCHAR iProduct;
    UCHAR iSerialNumber;
    UCHAR bNumConfigurations;
};
struct USB_INTERFACE_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    UCHAR bInterfaceNumber;
    UCHAR bAlternateSetting;
    UCHAR bNumEndpoints;
    UCHAR bInterfaceClass;
    UCHAR bInterfaceSubClass;
    UCHAR bInterfaceProtocol;
    UCHAR iInterface;
};
#pragma pack(pop)
using PUSB_DEVICE_DESCRIPTOR = USB_DEVICE_DESCRIPTOR*;
using PUSB_INTERFACE_DESCRIPTOR = USB_INTERFACE_DESCRIPTOR*;

// A fixed underlying type, so that any value a backend or a test supplies is
// well defined; the core treats unknown types as "no type line".
enum USBD_PIPE_TYPE : int {
    UsbdPipeTypeControl = 0,
    UsbdPipeTypeIsochronous = 1,
    UsbdPipeTypeBulk = 2,
    UsbdPipeTypeInterrupt = 3,
};

struct WINUSB_PIPE_INFORMATION {
    USBD_PIPE_TYPE PipeType;
    UCHAR PipeId;
    USHORT MaximumPacketSize;
    UCHAR Interval;
};
using PWINUSB_PIPE_INFORMATION = WINUSB_PIPE_INFORMATION*;

#pragma pack(push, 1)
struct WINUSB_SETUP_PACKET {
    UCHAR RequestType;
    UCHAR Request;
    USHORT Value;
    USHORT Index;
    USHORT Length;
};
#pragma pack(pop)
using PWINUSB_SETUP_PACKET = WINUSB_SETUP_PACKET*;

using WINUSB_INTERFACE_HANDLE = void*;
using PWINUSB_INTERFACE_HANDLE = WINUSB_INTERFACE_HANDLE*;

// Pipe policy types (WinUSB numbering).
#define SHORT_PACKET_TERMINATE 0x01
#define AUTO_CLEAR_STALL 0x02
#define PIPE_TRANSFER_TIMEOUT 0x03
#define IGNORE_SHORT_PACKETS 0x04
#define ALLOW_PARTIAL_READS 0x05
#define AUTO_FLUSH 0x06
#define RAW_IO 0x07

// WinUsb_QueryDeviceInformation: what to ask, and the speeds it gives.
#define DEVICE_SPEED 0x01
#define LowSpeed 0x01
#define FullSpeed 0x02
#define HighSpeed 0x03

// ---- HID (hid.dll: hidsdi.h, hidpi.h) --------------------------------------
using USAGE = USHORT;
struct HIDD_ATTRIBUTES {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
};
using PHIDD_ATTRIBUTES = HIDD_ATTRIBUTES*;
// A device's parsed report descriptor: the platform's own, opaque.
struct _HIDP_PREPARSED_DATA;
using PHIDP_PREPARSED_DATA = _HIDP_PREPARSED_DATA*;
struct HIDP_CAPS {
    USAGE Usage;
    USAGE UsagePage;
    USHORT InputReportByteLength;
    USHORT OutputReportByteLength;
    USHORT FeatureReportByteLength;
    USHORT Reserved[17];
    USHORT NumberLinkCollectionNodes;
    USHORT NumberInputButtonCaps;
    USHORT NumberInputValueCaps;
    USHORT NumberInputDataIndices;
    USHORT NumberOutputButtonCaps;
    USHORT NumberOutputValueCaps;
    USHORT NumberOutputDataIndices;
    USHORT NumberFeatureButtonCaps;
    USHORT NumberFeatureValueCaps;
    USHORT NumberFeatureDataIndices;
};
using PHIDP_CAPS = HIDP_CAPS*;
enum HIDP_REPORT_TYPE { HidP_Input = 0, HidP_Output = 1, HidP_Feature = 2 };
#define HIDP_STATUS_SUCCESS (static_cast<NTSTATUS>(0x00110000L))
#define HIDP_STATUS_INVALID_REPORT_TYPE (static_cast<NTSTATUS>(0xC0110002L))
#define HIDP_STATUS_INVALID_REPORT_LENGTH (static_cast<NTSTATUS>(0xC0110003L))
#define HIDP_STATUS_INVALID_PREPARSED_DATA (static_cast<NTSTATUS>(0xC0110001L))
#define HIDP_STATUS_REPORT_DOES_NOT_EXIST (static_cast<NTSTATUS>(0xC0110010L))

// ---- The platform functions -------------------------------------------------
#define PLATFORM_CALL(result, name, parameters) result WINAPI name parameters;
#include "usb/standin/platform_calls.inc"
#undef PLATFORM_CALL
