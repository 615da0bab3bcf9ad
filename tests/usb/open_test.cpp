// Opening and closing: the order of platform calls, the HRESULT of every
// failure, and that every failure path releases all it took.
#include <string>

#include "support/virtual_pendant_test.h"

namespace vp = virtual_pendant;

namespace {

class OpenTest : public VirtualPendantTest {
  protected:
    HRESULT OpenCapturing(PendantDevice& device, BOOL* noDevice, std::string* out = nullptr) {
        HRESULT hr = S_OK;
        const std::string text = CaptureStdout([&] { hr = device.Open(noDevice); });
        if (out != nullptr)
            *out = text;
        return hr;
    }
};

// The calls that reach the platform, without the last-error bookkeeping.
std::vector<std::string> PlatformCalls() {
    std::vector<std::string> names;
    for (const auto& c : vp::Calls())
        if (c.call != vp::Call::GetLastError && c.call != vp::Call::SetLastError)
            names.emplace_back(vp::CallName(c.call));
    return names;
}

// The whole conversation of a successful opening of a device with this many
// pipes: each pipe is queried once, in order, before the time-out is set.
std::vector<std::string> OpeningCalls(unsigned pipes) {
    std::vector<std::string> calls = {"SetupDiGetClassDevsA",
                                      "SetupDiEnumDeviceInterfaces",
                                      "SetupDiGetDeviceInterfaceDetailA",
                                      "LocalAlloc",
                                      "SetupDiGetDeviceInterfaceDetailA",
                                      "LocalFree",
                                      "SetupDiDestroyDeviceInfoList",
                                      "CreateFileA",
                                      "WinUsb_Initialize",
                                      "WinUsb_GetDescriptor",
                                      "WinUsb_QueryInterfaceSettings"};
    calls.insert(calls.end(), pipes, "WinUsb_QueryPipe");
    calls.emplace_back("WinUsb_SetPipePolicy");
    calls.emplace_back("WinUsb_ControlTransfer"); // a HID pendant's report descriptor
    return calls;
}

} // namespace

TEST_F(OpenTest, SucceedsThroughTheWholeConversationInOrder) {
    PendantDevice device;
    BOOL noDevice = 7;
    ASSERT_EQ(OpenCapturing(device, &noDevice), S_OK);
    EXPECT_EQ(noDevice, FALSE);
    EXPECT_TRUE(device.UsbOpen);

    EXPECT_EQ(PlatformCalls(), OpeningCalls(1));
    // The report descriptor, asked of interface 0, sets the read length.
    const auto reportDescriptor = vp::CallsOf(vp::Call::WinUsb_ControlTransfer)[0];
    EXPECT_EQ(Hex({reportDescriptor.bytes.begin(), reportDescriptor.bytes.begin() + 8}),
              "81 06 00 22 00 00 00 04");
    EXPECT_EQ(device.ReadLength, 8u);

    const auto create = vp::CallsOf(vp::Call::CreateFileA)[0];
    EXPECT_EQ(std::string(create.bytes.begin(), create.bytes.end()), vp::CurrentDevice().path);
    EXPECT_EQ(create.args[0], static_cast<std::uint64_t>(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(create.args[1], static_cast<std::uint64_t>(FILE_SHARE_READ | FILE_SHARE_WRITE));
    EXPECT_EQ(create.args[2], 0u);
    EXPECT_EQ(create.args[3], static_cast<std::uint64_t>(OPEN_EXISTING));
    EXPECT_EQ(create.args[4],
              static_cast<std::uint64_t>(FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED));
    EXPECT_EQ(create.args[5], 0u);

    const auto descriptor = vp::CallsOf(vp::Call::WinUsb_GetDescriptor)[0];
    EXPECT_EQ(descriptor.args[1], static_cast<std::uint64_t>(USB_DEVICE_DESCRIPTOR_TYPE));
    EXPECT_EQ(descriptor.args[2], 0u);
    EXPECT_EQ(descriptor.args[3], 0u);
    EXPECT_EQ(descriptor.args[5], 18u);
    EXPECT_EQ(device.DeviceDescriptor.idVendor, vp::CurrentDevice().descriptor.idVendor);
    EXPECT_EQ(device.DeviceDescriptor.bNumConfigurations, 1);

    const auto policy = vp::CallsOf(vp::Call::WinUsb_SetPipePolicy)[0];
    EXPECT_EQ(policy.args[1], 0x81u);
    EXPECT_EQ(policy.args[2], static_cast<std::uint64_t>(PIPE_TRANSFER_TIMEOUT));
    EXPECT_EQ(policy.args[3], 4u);
    EXPECT_EQ(policy.args[4], 30u);

    const vp::OpenCounts open = vp::Open();
    EXPECT_EQ(open.deviceInfoSets, 0);
    EXPECT_EQ(open.detailBuffers, 0);
    EXPECT_EQ(open.files, 1);
    EXPECT_EQ(open.interfaces, 1);
}

TEST_F(OpenTest, QueriesEachPipeOnceInOrder) {
    vp::SetDevice(DeviceWithPipes({{UsbdPipeTypeInterrupt, 0x81, 8},
                                   {UsbdPipeTypeBulk, 0x82, 64},
                                   {UsbdPipeTypeBulk, 0x01, 64}}));
    PendantDevice device;
    ASSERT_EQ(OpenCapturing(device, nullptr), S_OK);
    EXPECT_EQ(PlatformCalls(), OpeningCalls(3));
    const auto queries = vp::CallsOf(vp::Call::WinUsb_QueryPipe);
    ASSERT_EQ(queries.size(), 3u);
    for (std::uint64_t i = 0; i < 3; ++i)
        EXPECT_EQ(queries[i].args[2], i) << "pipe index of query " << i;
    device.Close();
}

struct FailureCase {
    const char* name;
    vp::Call call;
    unsigned nth;
    DWORD error;
    std::uint32_t expected;
    BOOL noDevice;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class OpenFailure : public OpenTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(OpenFailure, ReturnsTheMappedErrorAndReleasesEverything) {
    const FailureCase c = GetParam();
    vp::FailCall(c.call, c.nth, c.error);
    PendantDevice device;
    BOOL noDevice = 7;
    std::string out;
    EXPECT_EQ(static_cast<std::uint32_t>(OpenCapturing(device, &noDevice, &out)), c.expected);
    EXPECT_EQ(noDevice, c.noDevice);
    EXPECT_FALSE(device.UsbOpen);
    EXPECT_EQ(out, "") << "a failed open prints nothing";
    EXPECT_EQ(vp::Open(), vp::OpenCounts{});
}

INSTANTIATE_TEST_SUITE_P(
    Paths, OpenFailure,
    ::testing::Values(FailureCase{"DeviceListDenied", vp::Call::SetupDiGetClassDevsA, 1,
                                  ERROR_ACCESS_DENIED, 0x80070005u, FALSE},
                      FailureCase{"NoMoreItems", vp::Call::SetupDiEnumDeviceInterfaces, 1,
                                  ERROR_NO_MORE_ITEMS, 0x80070103u, TRUE},
                      FailureCase{"EnumerationFails", vp::Call::SetupDiEnumDeviceInterfaces, 1,
                                  ERROR_GEN_FAILURE, 0x8007001Fu, FALSE},
                      FailureCase{"SizeQueryFails", vp::Call::SetupDiGetDeviceInterfaceDetailA, 1,
                                  ERROR_INVALID_PARAMETER, 0x80070057u, FALSE},
                      FailureCase{"NoMemoryForDetail", vp::Call::LocalAlloc, 1,
                                  ERROR_NOT_ENOUGH_MEMORY, 0x8007000Eu, FALSE},
                      FailureCase{"DetailFails", vp::Call::SetupDiGetDeviceInterfaceDetailA, 2,
                                  ERROR_GEN_FAILURE, 0x8007001Fu, FALSE},
                      FailureCase{"AccessDenied", vp::Call::CreateFileA, 1, ERROR_ACCESS_DENIED,
                                  0x80070005u, FALSE},
                      FailureCase{"PathVanished", vp::Call::CreateFileA, 1, ERROR_FILE_NOT_FOUND,
                                  0x80070002u, FALSE},
                      FailureCase{"WinUsbRefuses", vp::Call::WinUsb_Initialize, 1,
                                  ERROR_NOT_SUPPORTED, 0x80070032u, FALSE},
                      FailureCase{"ErrorCodeAboveSixteenBits", vp::Call::CreateFileA, 1, 0x12345,
                                  0x80072345u, FALSE}),
    [](const ::testing::TestParamInfo<FailureCase>& p) { return p.param.name; });

TEST_F(OpenTest, SizeQueryThatReportsNoSizeIsNotTrusted) {
    // The size query fails as usual but leaves the size at 0: the block must
    // still hold the fixed part the tool writes, and the detail call fails.
    vp::FailCall(vp::Call::SetupDiGetDeviceInterfaceDetailA, 1, ERROR_INSUFFICIENT_BUFFER);
    PendantDevice device;
    EXPECT_EQ(OpenCapturing(device, nullptr), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_GE(vp::CallsOf(vp::Call::LocalAlloc)[0].args[1], 5u);
    EXPECT_FALSE(device.UsbOpen);
    EXPECT_EQ(vp::Open(), vp::OpenCounts{});
}

TEST_F(OpenTest, TooLongPathFailsBeforeAnyFileIsOpened) {
    vp::Device longPath;
    longPath.path = std::string(260, 'z');
    vp::SetDevice(longPath);
    PendantDevice device;
    EXPECT_EQ(OpenCapturing(device, nullptr), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(vp::CountOf(vp::Call::CreateFileA), 0u);
    EXPECT_EQ(vp::Open(), vp::OpenCounts{});

    // One byte shorter fits the record's 260 bytes with its terminator.
    vp::Reset();
    longPath.path = std::string(259, 'z');
    vp::SetDevice(longPath);
    PendantDevice fits;
    EXPECT_EQ(OpenCapturing(fits, nullptr), S_OK);
    const auto opened = vp::CallsOf(vp::Call::CreateFileA);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(std::string(opened[0].bytes.begin(), opened[0].bytes.end()), longPath.path);
    fits.Close();
}

TEST_F(OpenTest, FailuresAfterWinUsbStartsDoNotFailTheOpen) {
    for (vp::Call call : {vp::Call::WinUsb_GetDescriptor, vp::Call::WinUsb_QueryInterfaceSettings,
                          vp::Call::WinUsb_QueryPipe, vp::Call::WinUsb_SetPipePolicy}) {
        vp::Reset();
        vp::FailCall(call, 1, ERROR_GEN_FAILURE);
        PendantDevice device;
        EXPECT_EQ(OpenCapturing(device, nullptr), S_OK) << vp::CallName(call);
        EXPECT_TRUE(device.UsbOpen);
        EXPECT_EQ(vp::CountOf(vp::Call::WinUsb_SetPipePolicy), 1u) << vp::CallName(call);
    }
}

TEST_F(OpenTest, WithoutAReadPipeTheTimeOutIsStillSetOnPipeZero) {
    vp::SetDevice(DeviceWithPipes({}));
    PendantDevice device;
    EXPECT_EQ(OpenCapturing(device, nullptr), S_OK);
    EXPECT_EQ(device.ReadPipeId, 0);
    const auto policy = vp::CallsOf(vp::Call::WinUsb_SetPipePolicy);
    ASSERT_EQ(policy.size(), 1u);
    EXPECT_EQ(policy[0].args[1], 0u);
    EXPECT_EQ(policy[0].args[4], 30u);
}

TEST_F(OpenTest, CloseReleasesOnceAndOnlyWhatIsOpen) {
    PendantDevice never;
    never.Close();
    EXPECT_TRUE(vp::Calls().empty());

    PendantDevice device;
    ASSERT_EQ(OpenCapturing(device, nullptr), S_OK);
    vp::ClearCalls();
    device.Close();
    EXPECT_FALSE(device.UsbOpen);
    EXPECT_EQ(PlatformCalls(), (std::vector<std::string>{"WinUsb_Free", "CloseHandle"}));
    EXPECT_EQ(vp::Open(), vp::OpenCounts{});
    device.Close();
    EXPECT_EQ(vp::Calls().size(), 2u);
}
