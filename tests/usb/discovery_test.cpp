// Finding the device path: the SetupAPI conversation, the no-device flag, the
// bounded path copy and the error mapping.
#include <cstring>
#include <string>

#include "support/virtual_pendant_test.h"
#include "usb/discovery.h"

namespace vp = virtual_pendant;

namespace {
class FindDevicePathTest : public VirtualPendantTest {};

vp::Device WithPath(const std::string& path) {
    vp::Device d;
    d.path = path;
    return d;
}
} // namespace

TEST_F(FindDevicePathTest, AsksForPresentInterfacesOfThePendantGuid) {
    char path[MAX_PATH];
    BOOL noDevice = 7;
    ASSERT_EQ(FindDevicePath(path, sizeof path, &noDevice), S_OK);
    EXPECT_EQ(noDevice, FALSE);
    EXPECT_EQ(std::string(path), vp::CurrentDevice().path);

    const auto sets = vp::CallsOf(vp::Call::SetupDiGetClassDevsA);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(Hex(sets[0].bytes), "CC 17 69 13 99 86 EC 43 B5 A9 89 26 D7 16 5D E7");
    EXPECT_EQ(sets[0].args[1], 0u); // no enumerator
    EXPECT_EQ(sets[0].args[2], 0u); // no window
    EXPECT_EQ(sets[0].args[3], static_cast<std::uint64_t>(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));

    const auto enums = vp::CallsOf(vp::Call::SetupDiEnumDeviceInterfaces);
    ASSERT_EQ(enums.size(), 1u);
    EXPECT_EQ(enums[0].args[1], 0u); // no device filter
    EXPECT_EQ(enums[0].args[3], 0u); // member index 0 only
    EXPECT_EQ(enums[0].args[4], sizeof(SP_DEVICE_INTERFACE_DATA));

    const auto details = vp::CallsOf(vp::Call::SetupDiGetDeviceInterfaceDetailA);
    ASSERT_EQ(details.size(), 2u);
    EXPECT_EQ(details[0].args[2], 0u); // size query: no buffer
    EXPECT_EQ(details[0].args[3], 0u);
    EXPECT_EQ(details[1].args[2], 1u);
    EXPECT_EQ(details[1].args[6], 5u); // cbSize: the packed fixed part, not the block size

    const auto allocs = vp::CallsOf(vp::Call::LocalAlloc);
    ASSERT_EQ(allocs.size(), 1u);
    EXPECT_EQ(allocs[0].args[0], static_cast<std::uint64_t>(LMEM_FIXED));
    EXPECT_EQ(allocs[0].args[1], details[1].args[3]);
    EXPECT_EQ(vp::Open(), vp::OpenCounts{});
}

TEST_F(FindDevicePathTest, NoPresentDeviceSetsTheFlag) {
    vp::Device absent;
    absent.present = false;
    vp::SetDevice(absent);
    char path[MAX_PATH];
    BOOL noDevice = FALSE;
    EXPECT_EQ(static_cast<unsigned>(FindDevicePath(path, sizeof path, &noDevice)), 0x80070103u);
    EXPECT_EQ(noDevice, TRUE);
    EXPECT_EQ(vp::Open(), vp::OpenCounts{});
    // The flag is optional.
    EXPECT_EQ(static_cast<unsigned>(FindDevicePath(path, sizeof path, nullptr)), 0x80070103u);
}

TEST_F(FindDevicePathTest, DeviceUnderAnotherGuidIsNotFound) {
    vp::Device other;
    other.interfaceGuid.Data1 ^= 1;
    vp::SetDevice(other);
    char path[MAX_PATH];
    BOOL noDevice = FALSE;
    EXPECT_EQ(static_cast<unsigned>(FindDevicePath(path, sizeof path, &noDevice)), 0x80070103u);
    EXPECT_EQ(noDevice, TRUE);
}

TEST_F(FindDevicePathTest, OtherEnumerationFailuresLeaveTheFlagClear) {
    vp::FailCall(vp::Call::SetupDiEnumDeviceInterfaces, 1, ERROR_INVALID_HANDLE);
    char path[MAX_PATH];
    BOOL noDevice = 7;
    EXPECT_EQ(static_cast<unsigned>(FindDevicePath(path, sizeof path, &noDevice)), 0x80070006u);
    EXPECT_EQ(noDevice, FALSE);
    EXPECT_EQ(vp::Open(), vp::OpenCounts{});
}

TEST_F(FindDevicePathTest, PathCopyKeepsTwoHundredFiftyNineBytesAndRefusesMore) {
    const std::string fits(259, 'p');
    vp::SetDevice(WithPath(fits));
    char path[MAX_PATH];
    ASSERT_EQ(FindDevicePath(path, sizeof path, nullptr), S_OK);
    EXPECT_EQ(std::string(path), fits);

    for (std::size_t length : {260u, 261u, 1000u}) {
        vp::Reset();
        vp::SetDevice(WithPath(std::string(length, 'q')));
        std::memset(path, 'x', sizeof path);
        EXPECT_EQ(FindDevicePath(path, sizeof path, nullptr), STRSAFE_E_INSUFFICIENT_BUFFER)
            << length;
        EXPECT_EQ(std::string(path), std::string(259, 'q')) << "terminated, truncated";
        EXPECT_EQ(vp::Open(), vp::OpenCounts{});
    }
}

TEST(StringCbCopyA, FollowsTheStrsafeContract) {
    char dest[8];
    std::memset(dest, 'x', sizeof dest);
    EXPECT_EQ(StringCbCopyA(dest, 0, "abc"), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(dest[0], 'x'); // size 0: nothing written
    EXPECT_EQ(StringCbCopyA(dest, 0x80000000u, "abc"), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(dest[0], '\0');
    EXPECT_EQ(StringCbCopyA(dest, sizeof dest, "1234567"), S_OK);
    EXPECT_STREQ(dest, "1234567");
    EXPECT_EQ(StringCbCopyA(dest, sizeof dest, "12345678"), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(dest, "1234567");
    EXPECT_EQ(StringCbCopyA(dest, 1, "a"), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(dest, "");
    EXPECT_EQ(StringCbCopyA(dest, 1, ""), S_OK);
}

TEST(HresultFromWin32, MapsPositiveCodesIntoTheWin32Facility) {
    const struct {
        unsigned long code;
        std::uint32_t expected;
    } cases[] = {
        {0, 0x00000000u},          {5, 0x80070005u},       {0x103, 0x80070103u},
        {121, 0x80070079u},        {0x12345, 0x80072345u}, {0x80004005, 0x80004005u},
        {0xFFFFFFFF, 0xFFFFFFFFu},
    };
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<std::uint32_t>(HRESULT_FROM_WIN32(c.code)), c.expected) << c.code;
}
