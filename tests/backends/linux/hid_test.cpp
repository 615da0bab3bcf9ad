// The Linux backend's HID handles without a device (the platform contract
// itself is tests/contract; the real hidraw node, its ioctls and discovery
// are the VM test's, tests/vm/scenarios/hidraw.sh). A SEQPACKET socket
// stands in for the node: like hidraw it hands over one whole message a
// read, and its peer closing reads as the device gone.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "backends/linux/linux_backend.h"
#include "protocol/report_descriptor.h"
#include "usb/winapi.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// No report ids: three input bytes and two output bytes of a keyboard-like
// device of the generic desktop page.
const Bytes Unnumbered = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x75, 0x08, 0x95,
                          0x03, 0x81, 0x02, 0x95, 0x02, 0x91, 0x02, 0xC0};

// A HID handle on one end of a fresh socket pair; *peer is the other end.
HANDLE StandIn(const Bytes& descriptor, DWORD access, int* peer = nullptr) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0)
        return nullptr;
    if (peer != nullptr)
        *peer = fds[1];
    else
        close(fds[1]);
    return linux_backend::NewHidHandle(fds[0], "stand-in", access, FILE_FLAG_OVERLAPPED,
                                       descriptor.data(), descriptor.size());
}

TEST(HidPreparsedData, CapsAndReportsAsTheDescriptorDeclares) {
    const struct {
        const char* name;
        Bytes descriptor;
        USAGE usagePage, usage;
        USHORT input, output, feature;
    } devices[] = {
        {"pendant, 8-byte reports", protocol::PendantReportDescriptor(8), 0xFF00, 1, 8, 0, 8},
        {"pendant, 6-byte reports", protocol::PendantReportDescriptor(6), 0xFF00, 1, 6, 0, 8},
        {"no report ids", Unnumbered, 0x0001, 6, 3, 2, 0},
    };
    for (const auto& d : devices) {
        HANDLE h = StandIn(d.descriptor, 0);
        ASSERT_NE(h, nullptr) << d.name;
        PHIDP_PREPARSED_DATA data = nullptr;
        ASSERT_TRUE(HidD_GetPreparsedData(h, &data)) << d.name;
        HIDP_CAPS caps = {};
        EXPECT_EQ(HidP_GetCaps(data, &caps), HIDP_STATUS_SUCCESS) << d.name;
        EXPECT_EQ(caps.UsagePage, d.usagePage) << d.name;
        EXPECT_EQ(caps.Usage, d.usage) << d.name;
        EXPECT_EQ(caps.InputReportByteLength, d.input) << d.name;
        EXPECT_EQ(caps.OutputReportByteLength, d.output) << d.name;
        EXPECT_EQ(caps.FeatureReportByteLength, d.feature) << d.name;
        EXPECT_TRUE(HidD_FreePreparsedData(data));
        EXPECT_TRUE(CloseHandle(h));
    }
}

TEST(HidPreparsedData, InitializingAReport) {
    HANDLE pendant = StandIn(protocol::PendantReportDescriptor(8), 0);
    HANDLE unnumbered = StandIn(Unnumbered, 0);
    ASSERT_NE(pendant, nullptr);
    ASSERT_NE(unnumbered, nullptr);
    PHIDP_PREPARSED_DATA p = nullptr, u = nullptr;
    ASSERT_TRUE(HidD_GetPreparsedData(pendant, &p));
    ASSERT_TRUE(HidD_GetPreparsedData(unnumbered, &u));
    const struct {
        PHIDP_PREPARSED_DATA data;
        int type;
        UCHAR id;
        ULONG length;
        NTSTATUS status;
    } cases[] = {
        {p, HidP_Input, 4, 8, HIDP_STATUS_SUCCESS},
        {p, HidP_Feature, 6, 8, HIDP_STATUS_SUCCESS},
        {p, HidP_Input, 6, 8, HIDP_STATUS_REPORT_DOES_NOT_EXIST},
        {p, HidP_Output, 0, 0, HIDP_STATUS_REPORT_DOES_NOT_EXIST},
        {p, HidP_Input, 4, 7, HIDP_STATUS_INVALID_REPORT_LENGTH},
        {p, 3, 4, 8, HIDP_STATUS_INVALID_REPORT_TYPE},
        {u, HidP_Output, 0, 2, HIDP_STATUS_SUCCESS},
        {u, HidP_Input, 1, 3, HIDP_STATUS_REPORT_DOES_NOT_EXIST},
    };
    for (const auto& c : cases) {
        char report[16];
        std::memset(report, 0x55, sizeof report);
        EXPECT_EQ(HidP_InitializeReportForID(static_cast<HIDP_REPORT_TYPE>(c.type), c.id, c.data,
                                             report, c.length),
                  c.status)
            << "type " << c.type << ", id " << int(c.id) << ", length " << c.length;
        if (c.status == HIDP_STATUS_SUCCESS) {
            EXPECT_EQ(report[0], static_cast<char>(c.id));
            EXPECT_EQ(std::vector<char>(report + 1, report + c.length),
                      std::vector<char>(c.length - 1, 0));
            EXPECT_EQ(report[c.length], 0x55) << "written past the report";
        }
    }
    EXPECT_TRUE(HidD_FreePreparsedData(p));
    EXPECT_TRUE(HidD_FreePreparsedData(u));
    CloseHandle(pendant);
    CloseHandle(unnumbered);
}

TEST(HidPreparsedData, OnlyWhatWasGivenIsTaken) {
    HANDLE h = StandIn(Unnumbered, 0);
    ASSERT_NE(h, nullptr);
    PHIDP_PREPARSED_DATA data = nullptr;
    ASSERT_TRUE(HidD_GetPreparsedData(h, &data));
    EXPECT_TRUE(HidD_FreePreparsedData(data));
    EXPECT_FALSE(HidD_FreePreparsedData(data)) << "freed twice";
    HIDP_CAPS caps = {};
    EXPECT_EQ(HidP_GetCaps(data, &caps), HIDP_STATUS_INVALID_PREPARSED_DATA);
    int other = 0;
    EXPECT_FALSE(HidD_FreePreparsedData(reinterpret_cast<PHIDP_PREPARSED_DATA>(&other)));
    EXPECT_EQ(HidP_GetCaps(reinterpret_cast<PHIDP_PREPARSED_DATA>(&other), &caps),
              HIDP_STATUS_INVALID_PREPARSED_DATA);
    CloseHandle(h);
}

// The pendant's node opened for use, an event, and a read's OVERLAPPED.
struct HidRead : ::testing::Test {
    void SetUp() override {
        device = StandIn(protocol::PendantReportDescriptor(8), GENERIC_READ | GENERIC_WRITE, &peer);
        ASSERT_NE(device, nullptr);
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(event, nullptr);
        overlapped.hEvent = event;
    }
    void TearDown() override {
        if (device != nullptr)
            CloseHandle(device);
        if (event != nullptr)
            CloseHandle(event);
        if (peer >= 0)
            close(peer);
    }
    void Send(const Bytes& report) const {
        ASSERT_EQ(write(peer, report.data(), report.size()), static_cast<ssize_t>(report.size()));
    }
    // Starts a read into buffer: what ReadFile said, and its last error.
    DWORD Start() {
        overlapped = {};
        overlapped.hEvent = event;
        SetLastError(0);
        return ReadFile(device, buffer, sizeof buffer, nullptr, &overlapped) ? ERROR_SUCCESS
                                                                             : GetLastError();
    }
    // The outcome of the read: its report, or empty and *error.
    Bytes Result(BOOL wait, DWORD* error) {
        DWORD got = 0;
        *error =
            GetOverlappedResult(device, &overlapped, &got, wait) ? ERROR_SUCCESS : GetLastError();
        return *error == ERROR_SUCCESS ? Bytes(buffer, buffer + got) : Bytes();
    }
    HANDLE device = nullptr, event = nullptr;
    int peer = -1;
    OVERLAPPED overlapped = {};
    UCHAR buffer[64] = {};
};

const Bytes Wheel = {0x04, 0x00, 0x00, 0x11, 0x01, 0x00, 0x00, 0x00};
const Bytes Short = {0x04, 0x00, 0x00, 0x12, 0xFF, 0x00};

TEST_F(HidRead, AReportThereEndsTheReadAtOnce) {
    Send(Short);
    EXPECT_EQ(Start(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD error = 0;
    EXPECT_EQ(Result(FALSE, &error), Short) << "a report shorter than the buffer: its bytes";
}

TEST_F(HidRead, AReadWaitsForItsReport) {
    EXPECT_EQ(Start(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    DWORD error = 0;
    Result(FALSE, &error);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_IO_INCOMPLETE));
    Send(Wheel);
    EXPECT_EQ(WaitForSingleObject(event, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(Result(FALSE, &error), Wheel);
}

TEST_F(HidRead, ReportsComeOneARead) {
    Send(Wheel);
    Send(Short);
    DWORD error = 0;
    EXPECT_EQ(Start(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(Result(FALSE, &error), Wheel);
    EXPECT_EQ(Start(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(Result(FALSE, &error), Short);
}

TEST_F(HidRead, ACancelledReadTakesNothing) {
    EXPECT_EQ(Start(), static_cast<DWORD>(ERROR_IO_PENDING));
    Send(Wheel);
    EXPECT_TRUE(CancelIo(device));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD error = 0;
    Result(TRUE, &error);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(Start(), static_cast<DWORD>(ERROR_SUCCESS)) << "the report is still there";
    EXPECT_EQ(Result(FALSE, &error), Wheel);
}

TEST_F(HidRead, ADeviceThatGoesEndsTheRead) {
    EXPECT_EQ(Start(), static_cast<DWORD>(ERROR_IO_PENDING));
    close(peer);
    peer = -1;
    EXPECT_EQ(WaitForSingleObject(event, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD error = 0;
    Result(FALSE, &error);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(Start(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED)) << "and every later one";
}

TEST_F(HidRead, GetOverlappedResultWaitsForTheEnd) {
    EXPECT_EQ(Start(), static_cast<DWORD>(ERROR_IO_PENDING));
    Send(Wheel);
    DWORD error = 0;
    EXPECT_EQ(Result(TRUE, &error), Wheel);
}

TEST_F(HidRead, ClosingTheDeviceEndsItsRead) {
    EXPECT_EQ(Start(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_TRUE(CloseHandle(device));
    device = nullptr;
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
}

TEST_F(HidRead, ClosingTheEventLeavesTheReadItsOwn) {
    EXPECT_EQ(Start(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_TRUE(CloseHandle(event));
    event = nullptr;
    Send(Wheel);
    DWORD error = 0;
    EXPECT_EQ(Result(TRUE, &error), Wheel);
}

TEST_F(HidRead, RefusedReads) {
    OVERLAPPED other = {};
    other.hEvent = event;
    EXPECT_FALSE(ReadFile(device, buffer, 7, nullptr, &other));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER)) << "under 8 bytes";
    EXPECT_FALSE(ReadFile(device, buffer, sizeof buffer, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "no OVERLAPPED";
    other.hEvent = device;
    EXPECT_FALSE(ReadFile(device, buffer, sizeof buffer, nullptr, &other));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "no event";
    EXPECT_EQ(Start(), static_cast<DWORD>(ERROR_IO_PENDING));
    other.hEvent = event;
    EXPECT_FALSE(ReadFile(device, buffer, sizeof buffer, nullptr, &other));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY)) << "a second read under way";
}

TEST_F(HidRead, AFeatureReportOfAnotherLengthIsRefused) {
    UCHAR report[9] = {0x06};
    for (ULONG length : {7u, 9u}) {
        EXPECT_FALSE(HidD_SetFeature(device, report, length)) << length;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << length;
    }
}

TEST(HidQueryHandle, NeitherReadsNorSends) {
    HANDLE h = StandIn(protocol::PendantReportDescriptor(8), 0);
    ASSERT_NE(h, nullptr);
    UCHAR report[64] = {0x06};
    OVERLAPPED overlapped = {};
    EXPECT_FALSE(ReadFile(h, report, sizeof report, nullptr, &overlapped));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(HidD_SetFeature(h, report, 8));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(h);
}

TEST(HidEvent, ManualResetUnnamedOnly) {
    HANDLE set = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(WaitForSingleObject(set, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(set, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "stays set";
    EXPECT_TRUE(CloseHandle(set));
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, nullptr), nullptr) << "auto-reset";
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "shared"), nullptr) << "named";
}

} // namespace
