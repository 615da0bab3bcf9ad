// The platform contract's HID calls (usb/standin/platform_calls.inc: the
// overlapped reads of kernel32 and hid.dll), held against whichever backend
// this program is linked with. Like platform_contract_test.cpp it uses
// nothing but usb/winapi.h. Groups:
// - HidAny: any world (the HID class, events, invalid handles);
// - HidPendant: one pendant on the system's HID driver, present and idle
//   (the virtual pendant set up so, the gadget and the kernel's HID gadget
//   in the Linux VM test).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "usb/winapi.h"

namespace {

constexpr DWORD Present = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
// The coarsest step of GetTickCount on any platform (Windows: about 16 ms).
constexpr DWORD TickStep = 16;

GUID HidGuid() {
    GUID guid = {};
    HidD_GetHidGuid(&guid);
    return guid;
}

TEST(HidAny, TheHidClassIsWindowsOwn) {
    const GUID hid = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
    const GUID got = HidGuid();
    EXPECT_EQ(std::memcmp(&got, &hid, sizeof hid), 0);
    HDEVINFO set = SetupDiGetClassDevsA(&got, nullptr, nullptr, Present);
    ASSERT_NE(set, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST(HidAny, AnEventWaitsOutItsTimeAndCloses) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr) << "error " << GetLastError();
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    const DWORD before = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(event, 30), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_GE(GetTickCount() - before + TickStep, 30u) << "gave up before its time";
    EXPECT_TRUE(CloseHandle(event));
}

TEST(HidAny, InvalidHandlesAreRefused) {
    for (HANDLE bad : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
        HIDD_ATTRIBUTES attributes = {};
        attributes.Size = sizeof attributes;
        EXPECT_FALSE(HidD_GetAttributes(bad, &attributes));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        PHIDP_PREPARSED_DATA data = nullptr;
        EXPECT_FALSE(HidD_GetPreparsedData(bad, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        UCHAR report[8] = {6};
        EXPECT_FALSE(HidD_SetFeature(bad, report, sizeof report));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        OVERLAPPED overlapped = {};
        EXPECT_FALSE(ReadFile(bad, report, sizeof report, nullptr, &overlapped));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    // (INVALID_HANDLE_VALUE is the process itself to CancelIo, as to
    // CloseHandle: Wine takes it.)
    EXPECT_FALSE(CancelIo(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), static_cast<DWORD>(WAIT_FAILED));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HIDP_CAPS caps = {};
    EXPECT_EQ(HidP_GetCaps(nullptr, &caps), HIDP_STATUS_INVALID_PREPARSED_DATA);
}

// The paths of every present HID device.
std::vector<std::string> HidPaths() {
    std::vector<std::string> paths;
    const GUID hid = HidGuid();
    HDEVINFO set = SetupDiGetClassDevsA(&hid, nullptr, nullptr, Present);
    if (set == INVALID_HANDLE_VALUE)
        return paths;
    for (DWORD i = 0;; ++i) {
        SP_DEVICE_INTERFACE_DATA data = {};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &hid, i, &data))
            break;
        DWORD need = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &need, nullptr);
        std::vector<char> block(need + sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(block.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, static_cast<DWORD>(block.size()),
                                             nullptr, nullptr))
            paths.emplace_back(detail->DevicePath);
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

// The pendant among the HID devices: the one with the vendor usage page
// 0xFF00 and an 8-byte feature report (what the core's finding reads).
struct HidPendantFixture : ::testing::Test {
    void SetUp() override {
        for (const std::string& p : HidPaths()) {
            HANDLE h = CreateFileA(p.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
            if (h == INVALID_HANDLE_VALUE)
                continue;
            PHIDP_PREPARSED_DATA data = nullptr;
            if (HidD_GetPreparsedData(h, &data)) {
                HIDP_CAPS c = {};
                if (HidP_GetCaps(data, &c) == HIDP_STATUS_SUCCESS && c.UsagePage == 0xFF00 &&
                    c.FeatureReportByteLength == 8) {
                    path = p;
                    caps = c;
                }
                HidD_FreePreparsedData(data);
            }
            CloseHandle(h);
            if (!path.empty())
                break;
        }
        ASSERT_FALSE(path.empty()) << "no pendant among " << HidPaths().size() << " HID devices";
    }
    HANDLE OpenForUse() const {
        return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    }
    std::string path;
    HIDP_CAPS caps = {};
};

using HidPendant = HidPendantFixture;

TEST_F(HidPendant, ItsDescriptionIsReadWithoutAccess) {
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    HIDD_ATTRIBUTES attributes = {};
    attributes.Size = sizeof attributes;
    EXPECT_TRUE(HidD_GetAttributes(h, &attributes)) << "error " << GetLastError();
    EXPECT_EQ(attributes.Size, sizeof attributes);
    EXPECT_NE(attributes.VendorID, 0);

    PHIDP_PREPARSED_DATA data = nullptr;
    ASSERT_TRUE(HidD_GetPreparsedData(h, &data)) << "error " << GetLastError();
    EXPECT_GE(caps.InputReportByteLength, 6);
    EXPECT_LE(caps.InputReportByteLength, 64);
    EXPECT_EQ(caps.OutputReportByteLength, 0);

    // Which reports it declares, each at its type's length.
    char report[64];
    const struct {
        HIDP_REPORT_TYPE type;
        UCHAR id;
        ULONG length;
        NTSTATUS status;
    } cases[] = {
        {HidP_Input, 4, caps.InputReportByteLength, HIDP_STATUS_SUCCESS},
        {HidP_Feature, 6, 8, HIDP_STATUS_SUCCESS},
        {HidP_Input, 5, caps.InputReportByteLength, HIDP_STATUS_REPORT_DOES_NOT_EXIST},
        {HidP_Feature, 4, 8, HIDP_STATUS_REPORT_DOES_NOT_EXIST},
        {HidP_Feature, 6, 7, HIDP_STATUS_INVALID_REPORT_LENGTH},
    };
    for (const auto& c : cases) {
        std::memset(report, 0x55, sizeof report);
        EXPECT_EQ(HidP_InitializeReportForID(c.type, c.id, data, report, c.length), c.status)
            << "type " << c.type << ", id " << int(c.id) << ", length " << c.length;
        if (c.status == HIDP_STATUS_SUCCESS) {
            EXPECT_EQ(report[0], static_cast<char>(c.id));
            EXPECT_EQ(report[1], 0);
        }
    }
    EXPECT_TRUE(HidD_FreePreparsedData(data));
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(HidPendant, AReadOfNothingWaitsAndIsCancelled) {
    HANDLE h = OpenForUse();
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    std::vector<UCHAR> buffer(caps.InputReportByteLength);

    // Too small a buffer for a report is refused.
    OVERLAPPED small = {};
    small.hEvent = event;
    EXPECT_FALSE(ReadFile(h, buffer.data(), 2, nullptr, &small));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));

    OVERLAPPED overlapped = {};
    overlapped.hEvent = event;
    EXPECT_FALSE(
        ReadFile(h, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &overlapped));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING)) << "an idle pendant";
    const DWORD before = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(event, 30), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_GE(GetTickCount() - before + TickStep, 30u) << "gave up before its time";
    DWORD got = 99;
    EXPECT_FALSE(GetOverlappedResult(h, &overlapped, &got, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));

    EXPECT_TRUE(CancelIo(h));
    EXPECT_FALSE(GetOverlappedResult(h, &overlapped, &got, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "set at the end";
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(HidPendant, ADisplayFrameIsTakenAsSixFeatureReports) {
    HANDLE h = OpenForUse();
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    // The display of a fresh record: constants only.
    UCHAR frame[48] = {0x06, 0xFE, 0xFD, 0x0F};
    for (int n = 1; n < 6; ++n)
        frame[8 * n] = 0x06;
    frame[41] = 0x08;
    frame[42] = 0x02;
    for (int n = 0; n < 6; ++n)
        EXPECT_TRUE(HidD_SetFeature(h, frame + 8 * n, 8))
            << "report " << n << ": error " << GetLastError();
    EXPECT_FALSE(HidD_SetFeature(h, frame, 7)) << "a feature report of another length";
    EXPECT_TRUE(CloseHandle(h));
}

} // namespace
