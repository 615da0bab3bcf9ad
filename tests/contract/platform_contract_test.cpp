// The platform contract of usb/standin/platform_calls.inc, held against
// whichever backend this program is linked with: the virtual pendant, the
// null backend, the Linux backend or Windows itself. It uses nothing but
// usb/winapi.h, so one source proves them all. Each group needs a world of
// its own, and each backend's program runs the groups its world has
// (tests/contract/CMakeLists.txt):
// - LastError, Memory, Clock, Discovery, InvalidHandles, DeviceFile,
//   CtrlHandler: any (the null backend only takes handlers: LastError,
//   Memory and CtrlHandler.AddingAndRemovingSucceed);
// - CtrlC: Ctrl+C pressed as a signal (the Linux backend);
// - Pendant: one pendant present and idle (the virtual pendant as it starts,
//   the gadget in the Linux VM test);
// - ListedButAbsent: the pendant's interface listed, its path opening
//   nothing (Wine, with the interface put into its registry).
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "usb/winapi.h"

namespace {

const GUID PendantGuid = {
    0x136917CC, 0x8699, 0x43EC, {0xB5, 0xA9, 0x89, 0x26, 0xD7, 0x16, 0x5D, 0xE7}};
const GUID UnknownGuid = {0x7E57C0DE, 0x0001, 0x0002, {0, 1, 2, 3, 4, 5, 6, 7}};
constexpr DWORD Present = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
// The coarsest step of GetTickCount on any platform (Windows: about 16 ms).
constexpr DWORD TickStep = 16;

bool NotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

HANDLE OpenDeviceFile(const char* path) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED,
                       nullptr);
}

// ---- kernel32 -----------------------------------------------------------------

TEST(LastError, RoundTripsAndBelongsToTheCallingThread) {
    // Starting and joining a thread are platform calls that may set the last
    // error themselves, so the two threads meet through atomics alone while
    // each looks at its own.
    std::atomic<int> step{0};
    DWORD seenThere = 99;
    std::thread other([&] {
        seenThere = GetLastError();
        while (step.load() != 1) {
        }
        SetLastError(77);
        step.store(2);
    });
    SetLastError(1234);
    step.store(1);
    while (step.load() != 2) {
    }
    EXPECT_EQ(GetLastError(), 1234u) << "another thread's SetLastError reached this one";
    other.join();
    EXPECT_EQ(seenThere, 0u) << "a new thread starts without an error";
}

TEST(Memory, BlocksOfAnySizeZeroedOnRequest) {
    auto* block = static_cast<unsigned char*>(LocalAlloc(LMEM_ZEROINIT, 300));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(block[i], 0) << i;
    EXPECT_EQ(LocalFree(block), nullptr);
    void* empty = LocalAlloc(LMEM_FIXED, 0);
    EXPECT_NE(empty, nullptr) << "a block of zero bytes is still a block";
    EXPECT_EQ(LocalFree(empty), nullptr);
}

TEST(Clock, SleepWaitsAtLeastAsLongAsAsked) {
    const DWORD before = GetTickCount();
    Sleep(40);
    const DWORD waited = GetTickCount() - before; // unsigned: right across the wrap
    EXPECT_GE(waited + TickStep, 40u);
    Sleep(0); // only yields
}

TEST(DeviceFile, APathThatNamesNothingIsNotFound) {
    SetLastError(0);
    EXPECT_EQ(OpenDeviceFile("no-such-pendant-device"), INVALID_HANDLE_VALUE);
    EXPECT_PRED1(NotFound, GetLastError());
}

// ---- Console control handlers ---------------------------------------------------

// Handlers as the core writes them: they only store to lock-free atomics.
// Each notes when it was called, counting from 1 across all of them.
std::atomic<int> ctrlOrder{0};
std::atomic<int> declinedAt{0}, tookAt{0}, neverAt{0};
std::atomic<DWORD> tookEvent{99};

BOOL WINAPI Declines(DWORD) {
    declinedAt = ++ctrlOrder;
    return FALSE;
}
BOOL WINAPI Takes(DWORD event) {
    tookEvent = event;
    tookAt = ++ctrlOrder;
    return TRUE;
}

TEST(CtrlHandler, AddingAndRemovingSucceed) {
    EXPECT_TRUE(SetConsoleCtrlHandler(Takes, TRUE));
    EXPECT_TRUE(SetConsoleCtrlHandler(Declines, TRUE));
    EXPECT_TRUE(SetConsoleCtrlHandler(Takes, FALSE));
    EXPECT_TRUE(SetConsoleCtrlHandler(Declines, FALSE));
}

TEST(CtrlHandler, EachAddingIsRemovedOnceAndNoMore) {
    ASSERT_TRUE(SetConsoleCtrlHandler(Takes, TRUE));
    ASSERT_TRUE(SetConsoleCtrlHandler(Takes, TRUE));
    EXPECT_TRUE(SetConsoleCtrlHandler(Takes, FALSE));
    EXPECT_TRUE(SetConsoleCtrlHandler(Takes, FALSE));
    SetLastError(0);
    EXPECT_FALSE(SetConsoleCtrlHandler(Takes, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

#ifndef _WIN32
// Ctrl+C where a test can press it: SIGINT (the Linux backend). The cases
// where it ends the program run in a child.
BOOL WINAPI NeverReached(DWORD) {
    neverAt = ++ctrlOrder;
    return TRUE;
}

void ForgetCtrlCalls() {
    ctrlOrder = 0;
    declinedAt = 0;
    tookAt = 0;
    neverAt = 0;
    tookEvent = 99;
}

TEST(CtrlC, TheLatestHandlerFirstUntilOneTakesIt) {
    ForgetCtrlCalls();
    ASSERT_TRUE(SetConsoleCtrlHandler(NeverReached, TRUE));
    ASSERT_TRUE(SetConsoleCtrlHandler(Takes, TRUE));
    ASSERT_TRUE(SetConsoleCtrlHandler(Declines, TRUE));
    raise(SIGINT);
    EXPECT_EQ(declinedAt, 1) << "the latest added is called first";
    EXPECT_EQ(tookAt, 2);
    EXPECT_EQ(tookEvent, static_cast<DWORD>(CTRL_C_EVENT));
    EXPECT_EQ(neverAt, 0) << "called after one took it";

    ForgetCtrlCalls();
    EXPECT_TRUE(SetConsoleCtrlHandler(Declines, FALSE));
    raise(SIGINT);
    EXPECT_EQ(declinedAt, 0) << "called after it was removed";
    EXPECT_EQ(tookAt, 1);
    EXPECT_TRUE(SetConsoleCtrlHandler(Takes, FALSE));
    EXPECT_TRUE(SetConsoleCtrlHandler(NeverReached, FALSE));
}

TEST(CtrlCDeathTest, UnhandledItEndsTheProgramAsWithoutHandlers) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        const char* what;
        void (*ctrlC)();
    } cases[] = {
        {"every handler declines",
         [] {
             SetConsoleCtrlHandler(Declines, TRUE);
             raise(SIGINT);
         }},
        {"the handler removed",
         [] {
             SetConsoleCtrlHandler(Takes, TRUE);
             SetConsoleCtrlHandler(Takes, FALSE);
             raise(SIGINT);
         }},
    };
    for (const auto& c : cases)
        EXPECT_EXIT(
            {
                std::signal(SIGINT, SIG_DFL); // as from a terminal
                c.ctrlC();
                std::_Exit(0);
            },
            testing::KilledBySignal(SIGINT), "")
            << c.what;
}
#endif

// ---- SetupAPI -----------------------------------------------------------------

TEST(Discovery, AnInterfaceNothingExposesListsNothing) {
    HDEVINFO set = SetupDiGetClassDevsA(&UnknownGuid, nullptr, nullptr, Present);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &UnknownGuid, 0, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    // The code of the failed call must not outlive a call that worked.
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(GetLastError(), 0u);
}

TEST(Discovery, ClassDevicesWithoutAGuidAreRefused) {
    SetLastError(0);
    EXPECT_EQ(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, Present), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// The first pendant's path by the two calls the core makes, checking each
// step of the protocol on the way; "" (and a test failure) when one fails.
std::string PendantPath() {
    HDEVINFO set = SetupDiGetClassDevsA(&PendantGuid, nullptr, nullptr, Present);
    EXPECT_NE(set, INVALID_HANDLE_VALUE);
    if (set == INVALID_HANDLE_VALUE)
        return "";
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = 3;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &PendantGuid, 0, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "cbSize 3";
    data.cbSize = sizeof data;
    const bool listed = SetupDiEnumDeviceInterfaces(set, nullptr, &PendantGuid, 0, &data);
    EXPECT_TRUE(listed) << "error " << GetLastError();

    std::string path;
    DWORD need = 0;
    if (listed) {
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &need, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        const DWORD fixed = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        EXPECT_GT(need, fixed + 1);
        std::vector<char> block(need + 8, '#');
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(block.data());
        const struct {
            DWORD cbSize;
            DWORD size;
            DWORD error;
        } refusals[] = {
            {static_cast<DWORD>(block.size()), need, ERROR_INVALID_USER_BUFFER},
            {sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), need - 1, ERROR_INSUFFICIENT_BUFFER},
        };
        for (const auto& r : refusals) {
            detail->cbSize = r.cbSize;
            EXPECT_FALSE(
                SetupDiGetDeviceInterfaceDetailA(set, &data, detail, r.size, nullptr, nullptr));
            EXPECT_EQ(GetLastError(), r.error) << "cbSize " << r.cbSize << ", size " << r.size;
        }
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, need, nullptr, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER)) << "no buffer";
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, need, nullptr, nullptr));
        path = detail->DevicePath;
        EXPECT_EQ(path.size() + 1, need - fixed) << "the size counts the path and its terminator";
    }
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &PendantGuid, 1, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS)) << "one pendant only";
    // The code of the failed call must not outlive the release.
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(GetLastError(), 0u);
    return path;
}

TEST(ListedButAbsent, TheListedPathOpensNothing) {
    const std::string path = PendantPath();
    ASSERT_FALSE(path.empty());
    SetLastError(0);
    EXPECT_EQ(OpenDeviceFile(path.c_str()), INVALID_HANDLE_VALUE);
    EXPECT_PRED1(NotFound, GetLastError());
}

// ---- Handles ------------------------------------------------------------------

const HANDLE BadHandles[] = {nullptr, INVALID_HANDLE_VALUE};

TEST(InvalidHandles, SetupApiRefusesThem) {
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    DWORD need = 0;
    for (HDEVINFO h : BadHandles) {
        SetLastError(0);
        EXPECT_FALSE(SetupDiEnumDeviceInterfaces(h, nullptr, &PendantGuid, 0, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << h;
        SetLastError(0);
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(h, &data, nullptr, 0, &need, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << h;
        SetLastError(0);
        EXPECT_FALSE(SetupDiDestroyDeviceInfoList(h));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << h;
    }
}

TEST(InvalidHandles, CloseHandleRefusesNull) {
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(InvalidHandles, WinUsbRefusesThem) {
    for (HANDLE h : BadHandles) {
        WINUSB_INTERFACE_HANDLE usb = nullptr;
        UCHAR buffer[64] = {};
        ULONG got = 0;
        USB_INTERFACE_DESCRIPTOR intf = {};
        WINUSB_PIPE_INFORMATION pipe = {};
        ULONG timeout = 30;
        const WINUSB_SETUP_PACKET setup = {0x21, 0x09, 0x0306, 0, 8};
        const struct {
            const char* call;
            bool ok;
        } results[] = {
            {"WinUsb_Initialize", WinUsb_Initialize(h, &usb) != FALSE},
            {"WinUsb_GetDescriptor",
             WinUsb_GetDescriptor(h, USB_DEVICE_DESCRIPTOR_TYPE, 0, 0, buffer, 18, &got) != FALSE},
            {"WinUsb_QueryDeviceInformation",
             WinUsb_QueryDeviceInformation(h, DEVICE_SPEED, &got, buffer) != FALSE},
            {"WinUsb_QueryInterfaceSettings", WinUsb_QueryInterfaceSettings(h, 0, &intf) != FALSE},
            {"WinUsb_QueryPipe", WinUsb_QueryPipe(h, 0, 0, &pipe) != FALSE},
            {"WinUsb_SetPipePolicy", WinUsb_SetPipePolicy(h, 0x81, PIPE_TRANSFER_TIMEOUT,
                                                          sizeof timeout, &timeout) != FALSE},
            {"WinUsb_ControlTransfer",
             WinUsb_ControlTransfer(h, setup, buffer, 8, &got, nullptr) != FALSE},
            {"WinUsb_ReadPipe", WinUsb_ReadPipe(h, 0x81, buffer, 64, &got, nullptr) != FALSE},
            {"WinUsb_Free", WinUsb_Free(h) != FALSE},
        };
        for (const auto& r : results)
            EXPECT_FALSE(r.ok) << r.call << " on " << h;
        // Each call set it; the last one's is what is left.
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << h;
        EXPECT_EQ(usb, nullptr);
    }
}

// ---- A pendant, present and idle -----------------------------------------------

// The pendant opened as the core opens it; released when it goes.
struct OpenPendant {
    OpenPendant() {
        const std::string path = PendantPath();
        if (path.empty())
            return;
        file = OpenDeviceFile(path.c_str());
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << path << ": error " << GetLastError();
        EXPECT_NE(file, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return;
        if (!WinUsb_Initialize(file, &usb)) {
            ADD_FAILURE() << "WinUsb_Initialize: error " << GetLastError();
            usb = nullptr;
        }
    }
    ~OpenPendant() {
        if (usb != nullptr) {
            EXPECT_TRUE(WinUsb_Free(usb));
        }
        if (file != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(file));
        }
    }
    // The interface's first IN pipe (interrupt or bulk), or 0.
    UCHAR InPipe(UCHAR* count = nullptr) const {
        USB_INTERFACE_DESCRIPTOR intf = {};
        if (!WinUsb_QueryInterfaceSettings(usb, 0, &intf))
            return 0;
        if (count != nullptr)
            *count = intf.bNumEndpoints;
        for (UCHAR i = 0; i < intf.bNumEndpoints; ++i) {
            WINUSB_PIPE_INFORMATION p = {};
            if (WinUsb_QueryPipe(usb, 0, i, &p) && (p.PipeId & USB_ENDPOINT_DIRECTION_MASK) &&
                (p.PipeType == UsbdPipeTypeInterrupt || p.PipeType == UsbdPipeTypeBulk))
                return p.PipeId;
        }
        return 0;
    }
    HANDLE file = INVALID_HANDLE_VALUE;
    WINUSB_INTERFACE_HANDLE usb = nullptr;
};

TEST(Pendant, DiscoveryFollowsTheTwoCallProtocol) {
    EXPECT_FALSE(PendantPath().empty());
}

TEST(Pendant, WinUsbDescribesTheDeviceTheInterfaceAndItsPipes) {
    OpenPendant pendant;
    ASSERT_NE(pendant.usb, nullptr);
    USB_DEVICE_DESCRIPTOR device = {};
    ULONG got = 0;
    EXPECT_TRUE(WinUsb_GetDescriptor(pendant.usb, USB_DEVICE_DESCRIPTOR_TYPE, 0, 0,
                                     reinterpret_cast<PUCHAR>(&device), sizeof device, &got));
    EXPECT_EQ(got, 18u);
    EXPECT_EQ(device.bLength, 18);
    EXPECT_EQ(device.bDescriptorType, USB_DEVICE_DESCRIPTOR_TYPE);

    // The configuration, whole: its length is what it says.
    std::vector<UCHAR> config(4096);
    EXPECT_TRUE(WinUsb_GetDescriptor(pendant.usb, USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0,
                                     config.data(), 4096, &got));
    ASSERT_GE(got, 9u);
    EXPECT_EQ(config[1], USB_CONFIGURATION_DESCRIPTOR_TYPE);
    EXPECT_EQ(config[2] | config[3] << 8, static_cast<int>(got));

    UCHAR speed = 0;
    ULONG length = 1;
    EXPECT_TRUE(WinUsb_QueryDeviceInformation(pendant.usb, DEVICE_SPEED, &length, &speed));
    EXPECT_EQ(length, 1u);
    EXPECT_TRUE(speed == LowSpeed || speed == FullSpeed || speed == HighSpeed) << int(speed);

    USB_INTERFACE_DESCRIPTOR intf = {};
    EXPECT_TRUE(WinUsb_QueryInterfaceSettings(pendant.usb, 0, &intf));
    EXPECT_EQ(intf.bDescriptorType, USB_INTERFACE_DESCRIPTOR_TYPE);
    EXPECT_FALSE(WinUsb_QueryInterfaceSettings(pendant.usb, 1, &intf));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

    UCHAR count = 0;
    EXPECT_NE(pendant.InPipe(&count), 0) << "a pendant has an IN pipe";
    for (UCHAR i = 0; i < count; ++i) {
        WINUSB_PIPE_INFORMATION pipe = {};
        EXPECT_TRUE(WinUsb_QueryPipe(pendant.usb, 0, i, &pipe)) << int(i);
        EXPECT_NE(pipe.PipeId, 0) << int(i);
        EXPECT_GE(pipe.MaximumPacketSize, 1) << int(i);
        EXPECT_LE(pipe.MaximumPacketSize, 1024) << int(i);
    }
    WINUSB_PIPE_INFORMATION beyond = {};
    EXPECT_FALSE(WinUsb_QueryPipe(pendant.usb, 0, count, &beyond));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
}

TEST(Pendant, AReadOfNothingTimesOutAfterThePipePolicy) {
    OpenPendant pendant;
    ASSERT_NE(pendant.usb, nullptr);
    const UCHAR in = pendant.InPipe();
    ASSERT_NE(in, 0);
    ULONG ms = 30;
    EXPECT_TRUE(WinUsb_SetPipePolicy(pendant.usb, in, PIPE_TRANSFER_TIMEOUT, sizeof ms, &ms));
    EXPECT_FALSE(WinUsb_SetPipePolicy(pendant.usb, 0x8F, PIPE_TRANSFER_TIMEOUT, sizeof ms, &ms));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "no pipe 0x8F";

    UCHAR buffer[64];
    ULONG got = 0;
    const DWORD before = GetTickCount();
    EXPECT_FALSE(WinUsb_ReadPipe(pendant.usb, in, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SEM_TIMEOUT));
    EXPECT_GE(GetTickCount() - before + TickStep, ms) << "gave up before the time-out";

    EXPECT_FALSE(WinUsb_ReadPipe(pendant.usb, 0x0F, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "no IN pipe 0x0F";
}

TEST(Pendant, ADisplayFrameIsTakenReportByReport) {
    OpenPendant pendant;
    ASSERT_NE(pendant.usb, nullptr);
    // The display of a fresh record: constants only.
    UCHAR frame[48] = {0x06, 0xFE, 0xFD, 0x0F};
    for (int n = 1; n < 6; ++n)
        frame[8 * n] = 0x06;
    frame[41] = 0x08;
    frame[42] = 0x02;
    const WINUSB_SETUP_PACKET setReport = {0x21, 0x09, 0x0306, 0, 8};
    for (int n = 0; n < 6; ++n) {
        ULONG got = 0;
        EXPECT_TRUE(WinUsb_ControlTransfer(pendant.usb, setReport, frame + 8 * n, 8, &got, nullptr))
            << "report " << n << ": error " << GetLastError();
        EXPECT_EQ(got, 8u) << "report " << n;
    }
}

TEST(Pendant, AHidPendantGivesItsReportDescriptorThroughAnInTransfer) {
    OpenPendant pendant;
    ASSERT_NE(pendant.usb, nullptr);
    // GET_DESCRIPTOR (report) to interface 0, as the opening asks it: the
    // data stage comes back, no longer than asked.
    const WINUSB_SETUP_PACKET getReportDescriptor = {0x81, 0x06, 0x2200, 0, 1024};
    std::vector<UCHAR> buffer(1024, 0xEE);
    ULONG got = 0;
    ASSERT_TRUE(WinUsb_ControlTransfer(pendant.usb, getReportDescriptor, buffer.data(), 1024, &got,
                                       nullptr))
        << "error " << GetLastError();
    EXPECT_GE(got, 2u);
    EXPECT_LT(got, 1024u);
    // Every HID report descriptor ends its top collection.
    EXPECT_EQ(buffer[got - 1], 0xC0) << "got " << got << " bytes";
}

} // namespace
