// The Linux backend where no USB device is needed, in what only it does (the
// platform contract itself is tests/contract): the SetupAPI enumeration
// protocol over a known path list, and refusals of files that are not usbfs
// nodes, of a creation disposition other than OPEN_EXISTING and of handles
// of the wrong kind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "backends/linux/linux_backend.h"
#include "usb/winapi.h"

namespace {

const GUID Pendant = {0x136917CC, 0x8699, 0x43EC, {0xB5, 0xA9, 0x89, 0x26, 0xD7, 0x16, 0x5D, 0xE7}};
const GUID OtherGuid = {0x00000001, 0x0002, 0x0003, {0, 1, 2, 3, 4, 5, 6, 7}};

TEST(Kernel32, CreateFileFailuresCarryWin32Codes) {
    SetLastError(0);
    EXPECT_EQ(CreateFileA("/nonexistent/pendant", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND))
        << "a missing directory too, not only a missing file";

    // Device paths are only ever opened, never created.
    EXPECT_EQ(CreateFileA("/dev/null", GENERIC_READ, 0, nullptr, 1 /*CREATE_NEW*/, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Kernel32, CloseHandleTakesOnlyOpenFiles) {
    HANDLE h = CreateFileA("/dev/null", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(h));

    SetLastError(0);
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    HDEVINFO set = linux_backend::NewDevInfoSet(Pendant, {});
    EXPECT_FALSE(CloseHandle(set)) << "a device information set is not a file";
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

// The two-call detail protocol the core runs, over a set of known paths.
struct Detail {
    BOOL ok;
    DWORD error;
    std::string path;
};
Detail GetDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data, DWORD extra = 0) {
    DWORD need = 0;
    SetLastError(0);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &need, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<char> block(need + extra);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(block.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    Detail d{};
    d.ok = SetupDiGetDeviceInterfaceDetailA(set, &data, detail, need + extra, nullptr, nullptr);
    d.error = GetLastError();
    if (d.ok)
        d.path = detail->DevicePath;
    return d;
}

TEST(SetupApi, EnumeratesInOrderThenNoMoreItems) {
    HDEVINFO set =
        linux_backend::NewDevInfoSet(Pendant, {"/dev/bus/usb/001/002", "/dev/bus/usb/003/010"});
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    const char* expected[] = {"/dev/bus/usb/001/002", "/dev/bus/usb/003/010"};
    for (DWORD i = 0; i < 2; ++i) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &Pendant, i, &data)) << i;
        EXPECT_TRUE(data.InterfaceClassGuid == Pendant);
        const Detail d = GetDetail(set, data);
        EXPECT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.path, expected[i]);
    }
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    SetLastError(0);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &Pendant, 2, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    // Another interface class has no members in this set.
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &OtherGuid, 0, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST(SetupApi, DetailSizeCountsTheFixedPartAndTheTerminator) {
    const std::string path(300, 'p'); // longer than the core's 260-byte field
    HDEVINFO set = linux_backend::NewDevInfoSet(Pendant, {path});
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &Pendant, 0, &data));
    DWORD need = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &need, nullptr);
    EXPECT_EQ(need, sizeof(DWORD) + path.size() + 1);
    const Detail d = GetDetail(set, data);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.path, path) << "the whole path is handed over; the core decides if it fits";
    SetupDiDestroyDeviceInfoList(set);
}

TEST(SetupApi, DetailRefusals) {
    HDEVINFO set = linux_backend::NewDevInfoSet(Pendant, {"/dev/bus/usb/001/002"});
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &Pendant, 0, &data));
    std::vector<char> block(64);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(block.data());

    // cbSize must be the fixed part's size, not the block's.
    detail->cbSize = 64;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, 64, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    // Too small a block.
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, 10, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    // No buffer but a size.
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 10, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    // Interface data that this set did not hand out.
    SP_DEVICE_INTERFACE_DATA forged{};
    forged.cbSize = sizeof forged;
    forged.Reserved = 5;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &forged, detail, 64, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // Wrong cbSize on the interface data.
    SP_DEVICE_INTERFACE_DATA bad{};
    bad.cbSize = 3;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &Pendant, 0, &bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST(SetupApi, ClassDevsListsDeviceInterfacesOnly) {
    // Setup classes (no DIGCF_DEVICEINTERFACE) have no udev counterpart.
    SetLastError(0);
    EXPECT_EQ(SetupDiGetClassDevsA(&Pendant, nullptr, nullptr, DIGCF_PRESENT),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(WinUsb, RefusesWhatIsNotAUsbfsNode) {
    HANDLE file = CreateFileA("/dev/null", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    WINUSB_INTERFACE_HANDLE usb = nullptr;
    SetLastError(0);
    EXPECT_FALSE(WinUsb_Initialize(file, &usb));
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_EQ(usb, nullptr);
    EXPECT_TRUE(CloseHandle(file)) << "the file stays the caller's to close";
}

TEST(WinUsb, EveryCallRefusesAHandleOfAnotherKind) {
    HDEVINFO notUsb = linux_backend::NewDevInfoSet(Pendant, {});
    for (WINUSB_INTERFACE_HANDLE h : {notUsb}) {
        UCHAR buffer[64];
        ULONG got = 99;
        USB_INTERFACE_DESCRIPTOR intf{};
        WINUSB_PIPE_INFORMATION pipe{};
        ULONG timeout = 30;
        const WINUSB_SETUP_PACKET setup = {0x21, 0x09, 0x0306, 0, 8};
        const BOOL results[] = {
            WinUsb_GetDescriptor(h, USB_DEVICE_DESCRIPTOR_TYPE, 0, 0, buffer, 18, &got),
            WinUsb_QueryInterfaceSettings(h, 0, &intf),
            WinUsb_QueryPipe(h, 0, 0, &pipe),
            WinUsb_SetPipePolicy(h, 0x81, PIPE_TRANSFER_TIMEOUT, sizeof timeout, &timeout),
            WinUsb_ControlTransfer(h, setup, buffer, 8, &got, nullptr),
            WinUsb_ReadPipe(h, 0x81, buffer, 64, &got, nullptr),
            WinUsb_Free(h),
        };
        for (std::size_t i = 0; i < sizeof results / sizeof results[0]; ++i)
            EXPECT_FALSE(results[i]) << "call " << i;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    SetupDiDestroyDeviceInfoList(notUsb);
}

} // namespace
