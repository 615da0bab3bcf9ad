// udev refusing to enumerate is a failure of the search, reported with its
// own cause, never "Device not connected or driver not installed". libudev's
// entry points are replaced at link time (--wrap) so that each can fail.
#include <gtest/gtest.h>

#include <cerrno>

#include "pendant/pendant_device.h"
#include "usb/discovery.h"
#include "usb/winapi.h"

struct udev;
struct udev_enumerate;

extern "C" {
udev* __real_udev_new();
int __real_udev_enumerate_scan_devices(udev_enumerate* e);
}

namespace {

enum class Fail { Nothing, UdevNew, Scan };
Fail failing = Fail::Nothing;
int failErrno = 0;

} // namespace

extern "C" udev* __wrap_udev_new() {
    if (failing != Fail::UdevNew)
        return __real_udev_new();
    errno = failErrno;
    return nullptr;
}

extern "C" int __wrap_udev_enumerate_scan_devices(udev_enumerate* e) {
    if (failing != Fail::Scan)
        return __real_udev_enumerate_scan_devices(e);
    return -failErrno;
}

namespace {

struct UdevFailure {
    const char* name;
    Fail where;
    int err;
    DWORD expected;
};

// udev_new sets no errno when it runs out of memory: it reads as that.
const UdevFailure Failures[] = {
    {"ContextOutOfMemory", Fail::UdevNew, ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {"ContextWithoutErrno", Fail::UdevNew, 0, ERROR_NOT_ENOUGH_MEMORY},
    {"ContextTooManyFiles", Fail::UdevNew, EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {"ScanDenied", Fail::Scan, EACCES, ERROR_ACCESS_DENIED},
    {"ScanNoSysfs", Fail::Scan, ENOENT, ERROR_FILE_NOT_FOUND},
    {"ScanOutOfMemory", Fail::Scan, ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
};

class UdevFails : public testing::TestWithParam<UdevFailure> {
  protected:
    void TearDown() override { failing = Fail::Nothing; }
};

TEST_P(UdevFails, SearchFailsWithTheCauseAndNoDeviceStaysFalse) {
    const UdevFailure& f = GetParam();
    failing = f.where;
    failErrno = f.err;

    SetLastError(ERROR_SUCCESS);
    const GUID guid = {
        0x136917CC, 0x8699, 0x43EC, {0xB5, 0xA9, 0x89, 0x26, 0xD7, 0x16, 0x5D, 0xE7}};
    EXPECT_EQ(SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), f.expected);

    char path[MAX_PATH] = {};
    BOOL noDevice = TRUE;
    EXPECT_EQ(FindDevicePath(path, sizeof path, &noDevice), HRESULT_FROM_WIN32(f.expected));
    EXPECT_FALSE(noDevice) << "a failed search is not an absent pendant";
}

INSTANTIATE_TEST_SUITE_P(Udev, UdevFails, testing::ValuesIn(Failures),
                         [](const auto& p) { return std::string(p.param.name); });

// The wrappers pass through when nothing fails: the search then runs on this
// machine's udev and ends without error in either outcome.
TEST(UdevFailsNot, WrappersPassThrough) {
    char path[MAX_PATH] = {};
    BOOL noDevice = FALSE;
    const HRESULT r = FindDevicePath(path, sizeof path, &noDevice);
    EXPECT_TRUE(SUCCEEDED(r) || noDevice) << std::hex << r;
}

} // namespace
