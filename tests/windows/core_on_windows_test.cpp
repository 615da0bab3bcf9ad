// The parts of the core that need no device, built for Windows against the
// real headers and run there (under Wine in CI): the platform's structure
// layouts, display frame encoding with the Windows runtime's arithmetic,
// input decoding and the display transfers, the path copy and error mapping
// through the real StringCbCopyA and HRESULT_FROM_WIN32, and discovery
// through the real SetupAPI when no pendant is there.
//
// WinUsb_ReadPipe and WinUsb_ControlTransfer are replaced in this test
// program only, by the doubles below: the linker takes them before the
// import library's, so the core's calls hand their real argument types and
// the real setup packet layout to us. pendant-test.exe imports the real ones.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "app/entry.h"
#include "pendant/pendant_device.h"
#include "standin_helpers.h"
#include "support/capture.h"
#include "support/example_display.h"
#include "support/protocol_cases.h"
#include "usb/discovery.h"

namespace {

struct WinUsbDouble {
    std::vector<std::vector<std::uint8_t>> setups; // each as the 8 bytes passed
    std::vector<std::vector<std::uint8_t>> reports;
    std::vector<std::uint8_t> nextReport; // delivered by the next read
    DWORD readError = ERROR_SUCCESS;      // when set, the next read fails with it
    UCHAR readPipe = 0;
    ULONG readLength = 0;
};
WinUsbDouble usb;

} // namespace

extern "C" WINBOOL WINAPI WinUsb_ControlTransfer(WINUSB_INTERFACE_HANDLE, WINUSB_SETUP_PACKET setup,
                                                 PUCHAR buffer, ULONG length, PULONG transferred,
                                                 LPOVERLAPPED) {
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&setup);
    usb.setups.emplace_back(raw, raw + sizeof setup);
    usb.reports.emplace_back(buffer, buffer + length);
    *transferred = length;
    return TRUE;
}

extern "C" WINBOOL WINAPI WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE, UCHAR pipe, PUCHAR buffer,
                                          ULONG length, PULONG transferred, LPOVERLAPPED) {
    usb.readPipe = pipe;
    usb.readLength = length;
    if (usb.readError != ERROR_SUCCESS) {
        SetLastError(usb.readError);
        return FALSE;
    }
    std::memcpy(buffer, usb.nextReport.data(), usb.nextReport.size());
    *transferred = static_cast<ULONG>(usb.nextReport.size());
    return TRUE;
}

namespace {

// A record that looks open, so ReadInput and SendDisplay reach the platform.
void LookOpen(PendantDevice& device) {
    device.UsbInterface = reinterpret_cast<WINUSB_INTERFACE_HANDLE>(static_cast<LONG_PTR>(0x1000));
    device.UsbOpen = TRUE;
    device.ReadPipeId = 0x81;
}

class CoreOnWindows : public ::testing::Test {
  protected:
    void SetUp() override { usb = WinUsbDouble{}; }
};

// ---- What the platform's headers make of the structures the core fills ----

TEST(PlatformLayout, StructuresHaveTheSizesWindowsExpects) {
    const bool is32 = sizeof(void*) == 4;
    EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DATA), is32 ? 28u : 32u);
    EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), is32 ? 5u : 8u);
    EXPECT_EQ(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath), 4u);
    EXPECT_EQ(sizeof(WINUSB_SETUP_PACKET), 8u);
    EXPECT_EQ(sizeof(USB_DEVICE_DESCRIPTOR), 18u);
    EXPECT_EQ(sizeof(USB_INTERFACE_DESCRIPTOR), 9u);
    EXPECT_EQ(sizeof(DWORD), 4u);
    EXPECT_EQ(sizeof(ULONG), 4u);
    EXPECT_EQ(sizeof(HRESULT), 4u);
    EXPECT_EQ(sizeof(PendantDevice::DevicePath), 260u);
    EXPECT_EQ(sizeof(PendantDevice::DeviceDescriptor), 18u);
}

// ---- Display frame, with this platform's float and rounding ----------------

TEST_F(CoreOnWindows, FreshRecordFrame) {
    PendantDevice device;
    DisplayFrame frame;
    std::memset(frame, 0xCC, sizeof frame);
    device.BuildDisplayFrame(frame);
    EXPECT_EQ(Hex(frame, 8), "06 FE FD 0F 00 00 00 00 | 06 00 00 00 00 00 00 00 | "
                             "06 00 00 00 00 00 00 00 | 06 00 00 00 00 00 00 00 | "
                             "06 00 00 00 00 00 00 00 | 06 08 02 00 00 00 00 00");
}

TEST_F(CoreOnWindows, ExampleDisplayIsSentAsSixSetReports) {
    PendantDevice device;
    LookOpen(device);
    SetExampleDisplay(device);
    device.SendDisplay();

    ASSERT_EQ(usb.setups.size(), 6u);
    std::vector<std::uint8_t> sent;
    for (std::size_t n = 0; n < 6; ++n) {
        EXPECT_EQ(Hex(usb.setups[n]), "21 09 06 03 00 00 08 00") << "setup packet of report " << n;
        ASSERT_EQ(usb.reports[n].size(), 8u);
        sent.insert(sent.end(), usb.reports[n].begin(), usb.reports[n].end());
    }
    EXPECT_EQ(Hex(sent, 8), "06 FE FD 0F 01 00 88 13 | 06 02 00 C4 89 7B 00 DA | "
                            "06 11 00 00 0A 00 00 00 | 06 00 00 0A 00 00 00 64 | "
                            "06 00 C8 00 B8 0B E0 2E | 06 08 02 00 00 00 00 00");
    EXPECT_FALSE(device.DisplayDirty);

    device.SendDisplay();
    EXPECT_EQ(usb.setups.size(), 6u) << "nothing changed, so nothing may be sent";
}

class CoordinateEncoding : public ::testing::TestWithParam<CoordinateCase> {};

// The cases where single precision, rounding and the sign rule show; a
// compiler keeping the product in a wider register would fail 2.0005.
TEST_P(CoordinateEncoding, WordsAsTheDisplayReadsThem) {
    const CoordinateCase c = GetParam();
    std::uint8_t out[4] = {0xCC, 0xCC, 0xCC, 0xCC};
    EXPECT_EQ(EncodeCoordinate(c.value, out), 4);
    EXPECT_EQ(out[0] | out[1] << 8, c.whole) << c.value;
    EXPECT_EQ(out[2] | out[3] << 8, c.fraction) << c.value;
}

INSTANTIATE_TEST_SUITE_P(Table, CoordinateEncoding, ::testing::ValuesIn(CoordinateCases));

TEST(FixedEncoding, SkipsTheRoundingToThreeDecimals) {
    std::uint8_t out[4] = {};
    EXPECT_EQ(EncodeFixed(1.2345f, out), 4);
    EXPECT_EQ(Hex(out), "01 00 29 09");
    EncodeFixed(-0.00004f, out);
    EXPECT_EQ(Hex(out), "00 00 00 80");
}

// ---- Input reports ----------------------------------------------------------

TEST_F(CoreOnWindows, ReportIsTracedAndMovesTheSelectedAxis) {
    PendantDevice device;
    LookOpen(device);
    usb.nextReport = {0x04, 0x00, 0x00, 0x12, 0x05, 0x00, 0x99, 0x99};
    std::int32_t r = -1;
    const std::string out = CaptureStdout([&] { r = device.ReadInput(); });
    EXPECT_EQ(r, 0);
    EXPECT_EQ(out, "Read from rk27: 4 0 0 12 5 0 \n");
    EXPECT_EQ(usb.readPipe, 0x81);
    EXPECT_EQ(usb.readLength, 64u);
    EXPECT_EQ(device.CoordSet2[1], 5.0f);
    EXPECT_TRUE(device.DisplayDirty);
}

class JogDecoding : public ::testing::TestWithParam<JogCase> {
  protected:
    void SetUp() override { usb = WinUsbDouble{}; }
};

TEST_P(JogDecoding, CountAppliesOnlyWithinItsRange) {
    const JogCase c = GetParam();
    PendantDevice device;
    LookOpen(device);
    device.CoordSet2[0] = 10.0f;
    device.CoordSet2[1] = 20.0f;
    device.CoordSet2[2] = 30.0f;
    usb.nextReport = {0x04, 0x00, 0x00, c.axisCode, c.delta, 0x00};
    CaptureStdout([&] { device.ReadInput(); });
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(device.CoordSet2[k], c.expected[k]) << "axis " << k + 1;
    EXPECT_EQ(device.DisplayDirty, c.dirty);
}

INSTANTIATE_TEST_SUITE_P(Table, JogDecoding, ::testing::ValuesIn(JogCases));

TEST_F(CoreOnWindows, TimedOutReadIsSilentAndKeepsItsError) {
    PendantDevice device;
    LookOpen(device);
    usb.readError = ERROR_SEM_TIMEOUT;
    std::int32_t r = -1;
    EXPECT_EQ(CaptureStdout([&] { r = device.ReadInput(); }), "");
    EXPECT_EQ(r, 0);
    EXPECT_EQ(device.LastReadError, static_cast<DWORD>(ERROR_SEM_TIMEOUT));
    EXPECT_FALSE(device.DisplayDirty);
}

// ---- Path copy and error mapping: the real helpers, and the stand-in's -----

TEST(ErrorMapping, RealAndStandInAgree) {
    struct Case {
        unsigned long code;
        std::uint32_t mapped;
    };
    const Case cases[] = {
        {0, 0x00000000u},        {2, 0x80070002u},           {5, 0x80070005u},
        {122, 0x8007007Au},      {259, 0x80070103u},         {1167, 0x8007048Fu},
        {0x12345u, 0x80072345u}, {0x80070005u, 0x80070005u}, {0xFFFFFFFFu, 0xFFFFFFFFu}};
    for (const Case& c : cases) {
        const auto real = static_cast<std::uint32_t>(HRESULT_FROM_WIN32(c.code));
        EXPECT_EQ(real, c.mapped) << "real, code " << c.code;
        EXPECT_EQ(static_cast<std::uint32_t>(standin_helpers::HresultFromWin32(c.code)), real)
            << "stand-in, code " << c.code;
    }
}

TEST(PathCopy, RealAndStandInAgree) {
    struct Case {
        std::size_t sourceLength;
        std::size_t destBytes;
        std::uint32_t result;
        std::size_t kept;
    };
    const Case cases[] = {{0, 260, 0, 0},
                          {259, 260, 0, 259},
                          {260, 260, 0x8007007Au, 259},
                          {400, 260, 0x8007007Au, 259},
                          {5, 1, 0x8007007Au, 0},
                          {5, 0, 0x80070057u, 0}};
    for (const Case& c : cases) {
        const std::string source(c.sourceLength, 'p');
        char real[300];
        char standin[300];
        std::memset(real, '#', sizeof real);
        std::memset(standin, '#', sizeof standin);
        const auto realResult =
            static_cast<std::uint32_t>(StringCbCopyA(real, c.destBytes, source.c_str()));
        const auto standinResult = static_cast<std::uint32_t>(
            standin_helpers::CopyString(standin, c.destBytes, source.c_str()));
        EXPECT_EQ(realResult, c.result) << c.sourceLength << " into " << c.destBytes;
        EXPECT_EQ(standinResult, realResult) << c.sourceLength << " into " << c.destBytes;
        if (c.destBytes > 0) {
            EXPECT_EQ(std::string(real), source.substr(0, c.kept));
            EXPECT_EQ(std::string(standin), std::string(real));
        } else {
            EXPECT_EQ(real[0], '#') << "a zero-size destination must not be written";
            EXPECT_EQ(standin[0], '#');
        }
    }
}

// A size above STRSAFE_MAX_CCH is refused by both. (The platform documents that
// the destination then becomes empty, and the stand-in does so; mingw-w64's
// strsafe.h leaves it as it was. The core always passes 260.)
TEST(PathCopy, OversizedDestinationIsRefused) {
    char real[8] = "keep";
    char standin[8] = "keep";
    const std::size_t tooBig = static_cast<std::size_t>(STRSAFE_MAX_CCH) + 1;
    EXPECT_EQ(static_cast<std::uint32_t>(StringCbCopyA(real, tooBig, "abc")), 0x80070057u);
    EXPECT_EQ(static_cast<std::uint32_t>(standin_helpers::CopyString(standin, tooBig, "abc")),
              0x80070057u);
    EXPECT_STRNE(real, "abc");
    EXPECT_STREQ(standin, "");
}

// ---- Discovery and the entry with no pendant, on the real SetupAPI ----------

TEST(NoPendant, DiscoveryReportsNoDevice) {
    char path[DevicePathBytes] = "untouched";
    BOOL noDevice = 7;
    EXPECT_EQ(static_cast<std::uint32_t>(FindDevicePath(path, sizeof path, &noDevice)),
              0x80070103u);
    EXPECT_EQ(noDevice, TRUE);
    EXPECT_STREQ(path, "untouched");

    EXPECT_EQ(static_cast<std::uint32_t>(FindDevicePath(path, sizeof path, nullptr)), 0x80070103u)
        << "the flag is optional";
}

TEST(NoPendant, OpenFailsWithNothingAcquired) {
    PendantDevice device;
    BOOL noDevice = FALSE;
    EXPECT_EQ(static_cast<std::uint32_t>(device.Open(&noDevice)), 0x80070103u);
    EXPECT_EQ(noDevice, TRUE);
    EXPECT_EQ(device.UsbOpen, FALSE);
    device.Close(); // must do nothing
}

TEST(NoPendant, ToolSaysWhyAndReturnsAfterTheWord) {
    std::istringstream in("\n\n   word rest");
    int r = -1;
    const std::string out = CaptureStdout([&] { r = RunTool(in); });
    EXPECT_EQ(r, 0);
    EXPECT_EQ(out, "Device not connected or driver not installed\nnothing to do...\n");
    std::string rest;
    in >> rest;
    EXPECT_EQ(rest, "rest") << "exactly one word is read";
}

} // namespace
