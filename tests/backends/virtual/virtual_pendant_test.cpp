// The virtual pendant's own promises, which every other test relies on.
#include "support/virtual_pendant_test.h"
#include "usb/discovery.h"

namespace vp = virtual_pendant;

namespace {
class VirtualBackend : public VirtualPendantTest {};
} // namespace

TEST_F(VirtualBackend, FaultsHitTheNthCallOrEveryCallFromIt) {
    vp::FailCall(vp::Call::LocalAlloc, 2, ERROR_OUTOFMEMORY);
    vp::FailCall(vp::Call::LocalFree, 2, ERROR_INVALID_HANDLE, /*sticky=*/true);
    HLOCAL a = LocalAlloc(LMEM_FIXED, 4);
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(LocalAlloc(LMEM_FIXED, 4), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OUTOFMEMORY));
    HLOCAL b = LocalAlloc(LMEM_ZEROINIT, 4);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(b)[3], 0);
    EXPECT_EQ(LocalFree(a), nullptr);
    EXPECT_EQ(LocalFree(b), b); // second call fails
    EXPECT_EQ(LocalFree(b), b); // and every one after
    EXPECT_EQ(vp::Open().detailBuffers, 1);
    EXPECT_FALSE(vp::CallsOf(vp::Call::LocalFree)[1].succeeded);
}

TEST_F(VirtualBackend, UnplugKillsOpenHandlesAndReplugDoesNotReviveThem) {
    PendantDevice device;
    OpenQuietly(device);
    vp::Unplug();
    std::uint8_t buffer[64];
    ULONG n = 0;
    EXPECT_FALSE(WinUsb_ReadPipe(device.UsbInterface, 0x81, buffer, 64, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_COMMAND));
    char path[MAX_PATH];
    BOOL noDevice = FALSE;
    EXPECT_EQ(static_cast<unsigned>(FindDevicePath(path, sizeof path, &noDevice)), 0x80070103u);
    EXPECT_TRUE(noDevice);

    vp::Replug();
    EXPECT_FALSE(WinUsb_ReadPipe(device.UsbInterface, 0x81, buffer, 64, &n, nullptr));
    PendantDevice again;
    OpenQuietly(again);
    EXPECT_FALSE(WinUsb_ReadPipe(again.UsbInterface, 0x81, buffer, 64, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SEM_TIMEOUT)) << "alive: nothing queued";
    // Releasing dead handles still works, so Close after an unplug leaks nothing.
    device.Close();
    again.Close();
    EXPECT_EQ(vp::Open(), vp::OpenCounts{});
}

TEST_F(VirtualBackend, TimeOutsAdvanceTheClockByThePipePolicy) {
    PendantDevice device;
    OpenQuietly(device);
    vp::QueueTimeout();
    vp::QueueReport({1, 2, 3});
    std::uint8_t buffer[64];
    ULONG n = 99;
    EXPECT_FALSE(WinUsb_ReadPipe(device.UsbInterface, 0x81, buffer, 64, &n, nullptr));
    EXPECT_EQ(vp::Now(), 30u);
    EXPECT_TRUE(WinUsb_ReadPipe(device.UsbInterface, 0x81, buffer, 64, &n, nullptr));
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(vp::Now(), 30u);
    EXPECT_FALSE(WinUsb_ReadPipe(device.UsbInterface, 0x81, buffer, 64, &n, nullptr));
    EXPECT_EQ(vp::Now(), 60u);
    // An OUT or unknown pipe cannot be read.
    EXPECT_FALSE(WinUsb_ReadPipe(device.UsbInterface, 0x01, buffer, 64, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(VirtualBackend, ReadsGatherPacketsUntilAShortOneOrAFullBuffer) {
    PendantDevice device;
    OpenQuietly(device); // pipe 0x81, 8-byte packets
    const std::vector<std::uint8_t> full(8, 0xAA), shortOne = {1, 2, 3};
    std::uint8_t buffer[64];
    ULONG n = 0;
    // Two full packets and a short one make one 19-byte transfer.
    vp::QueueReport(full);
    vp::QueueReport(full);
    vp::QueueReport(shortOne);
    EXPECT_TRUE(WinUsb_ReadPipe(device.UsbInterface, 0x81, buffer, 64, &n, nullptr));
    EXPECT_EQ(n, 19u);
    // A report longer than a packet comes packet by packet to packet-sized reads.
    vp::QueueReport(std::vector<std::uint8_t>(12, 0x55));
    EXPECT_TRUE(WinUsb_ReadPipe(device.UsbInterface, 0x81, buffer, 8, &n, nullptr));
    EXPECT_EQ(n, 8u);
    EXPECT_TRUE(WinUsb_ReadPipe(device.UsbInterface, 0x81, buffer, 8, &n, nullptr));
    EXPECT_EQ(n, 4u);
    // Full packets then nothing: the read times out and loses them.
    vp::QueueReport(full);
    vp::QueueTimeout();
    vp::QueueReport(shortOne);
    EXPECT_FALSE(WinUsb_ReadPipe(device.UsbInterface, 0x81, buffer, 64, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SEM_TIMEOUT));
    EXPECT_TRUE(WinUsb_ReadPipe(device.UsbInterface, 0x81, buffer, 64, &n, nullptr));
    EXPECT_EQ(n, 3u);
    // A packet bigger than the room left is an overflow.
    vp::QueueReport(full);
    EXPECT_FALSE(WinUsb_ReadPipe(device.UsbInterface, 0x81, buffer, 4, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(vp::PendingInput(), 0u);
}

TEST_F(VirtualBackend, OnlyDisplayReportsReachTheDisplay) {
    PendantDevice device;
    OpenQuietly(device);
    // Feature report 5 is not the pendant's: refused, as HID devices do.
    WINUSB_SETUP_PACKET other = {0x21, 0x09, 0x0305, 0, 8};
    DisplayFrame frame;
    device.BuildDisplayFrame(frame);
    ULONG n = 0;
    for (int i = 0; i < 6; ++i) {
        EXPECT_FALSE(
            WinUsb_ControlTransfer(device.UsbInterface, other, frame + 8 * i, 8, &n, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    }
    EXPECT_TRUE(vp::Frames().empty());
    int seen = 0;
    vp::OnFrame([&seen](const vp::ReceivedFrame& f) { seen += f.problem.empty(); });
    device.DisplayDirty = true;
    device.SendDisplay();
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(vp::Frames().size(), 1u);
}

TEST_F(VirtualBackend, WithoutHistoryNothingGrowsButCountsAndFramesGoOn) {
    vp::KeepHistory(false);
    PendantDevice device;
    OpenQuietly(device);
    int seen = 0;
    vp::OnFrame([&seen](const vp::ReceivedFrame& f) { seen += f.problem.empty(); });
    for (int i = 0; i < 3; ++i) {
        device.DisplayDirty = true;
        device.SendDisplay();
        Sleep(1);
    }
    EXPECT_EQ(seen, 3);
    EXPECT_EQ(vp::CountOf(vp::Call::WinUsb_ControlTransfer),
              1u + 18u); // the opening's, then 3 frames
    EXPECT_TRUE(vp::Calls().empty());
    EXPECT_TRUE(vp::Frames().empty());
    EXPECT_TRUE(vp::Sleeps().empty());
    EXPECT_EQ(vp::Now(), 3u) << "time goes on";
}

namespace {
// Each handler notes when it was called, counting from 1 across all.
int ctrlOrder = 0;
int firstAt = 0, secondAt = 0, thirdAt = 0;
BOOL WINAPI FirstTakes(DWORD event) {
    firstAt = event == CTRL_C_EVENT ? ++ctrlOrder : -1;
    return TRUE;
}
BOOL WINAPI SecondTakes(DWORD event) {
    secondAt = event == CTRL_C_EVENT ? ++ctrlOrder : -1;
    return TRUE;
}
BOOL WINAPI ThirdDeclines(DWORD event) {
    thirdAt = event == CTRL_C_EVENT ? ++ctrlOrder : -1;
    return FALSE;
}
void ForgetCtrlCalls() {
    ctrlOrder = firstAt = secondAt = thirdAt = 0;
}
} // namespace

TEST_F(VirtualBackend, CtrlCCallsTheLatestHandlerFirstUntilOneTakesIt) {
    ForgetCtrlCalls();
    EXPECT_FALSE(vp::PressCtrlC()) << "no handler: the program would end";
    ASSERT_TRUE(SetConsoleCtrlHandler(FirstTakes, TRUE));
    ASSERT_TRUE(SetConsoleCtrlHandler(SecondTakes, TRUE));
    ASSERT_TRUE(SetConsoleCtrlHandler(ThirdDeclines, TRUE));
    EXPECT_EQ(ctrlOrder, 0) << "called before Ctrl+C";
    EXPECT_TRUE(vp::PressCtrlC());
    EXPECT_EQ(thirdAt, 1);
    EXPECT_EQ(secondAt, 2);
    EXPECT_EQ(firstAt, 0) << "called after one took it";

    ForgetCtrlCalls();
    ASSERT_TRUE(SetConsoleCtrlHandler(SecondTakes, FALSE));
    EXPECT_TRUE(vp::PressCtrlC());
    EXPECT_EQ(thirdAt, 1);
    EXPECT_EQ(secondAt, 0) << "called after it was removed";
    EXPECT_EQ(firstAt, 2);

    ASSERT_TRUE(SetConsoleCtrlHandler(FirstTakes, FALSE));
    EXPECT_FALSE(vp::PressCtrlC()) << "only one that declines";
    const auto calls = vp::CallsOf(vp::Call::SetConsoleCtrlHandler);
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[4].args, (std::vector<std::uint64_t>{1, FALSE}));
}

TEST_F(VirtualBackend, ResetForgetsTheCtrlHandlersAndFaultsReachThem) {
    ForgetCtrlCalls();
    ASSERT_TRUE(SetConsoleCtrlHandler(FirstTakes, TRUE));
    vp::Reset();
    EXPECT_FALSE(vp::PressCtrlC());
    EXPECT_EQ(firstAt, 0);
    vp::FailCall(vp::Call::SetConsoleCtrlHandler, 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(SetConsoleCtrlHandler(FirstTakes, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_FALSE(vp::PressCtrlC()) << "a failed adding added it";
}
