// hid.dll's device calls on a hidraw node: telling a node from the others,
// opening it, its ids and report descriptor (ioctls that read what the
// kernel already holds: nothing reaches the device), and the feature
// reports it is sent. The HID driver keeps the device throughout.
#include <fcntl.h>
#include <libudev.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "backends/linux/error_map.h"
#include "backends/linux/handles.h"
#include "backends/linux/interface_guid.h"
#include "backends/linux/linux_backend.h"

using namespace linux_backend;

namespace {

// Whether the character device belongs to the hidraw class, as sysfs says.
bool IsHidrawDevice(dev_t device) {
    char link[64];
    std::snprintf(link, sizeof link, "/sys/dev/char/%u:%u/subsystem", major(device), minor(device));
    char target[PATH_MAX];
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return false;
    target[n] = '\0';
    const char* slash = std::strrchr(target, '/');
    return std::strcmp(slash != nullptr ? slash + 1 : target, "hidraw") == 0;
}

// The release (bcdDevice) of the USB device the node belongs to, from
// udev; 0 for a HID device that is not on USB, or when udev cannot say.
USHORT UsbRelease(dev_t device) {
    udev* u = udev_new();
    if (u == nullptr)
        return 0;
    unsigned long release = 0;
    if (udev_device* node = udev_device_new_from_devnum(u, 'c', device)) {
        // The parent belongs to node: not unreferenced on its own.
        udev_device* usb = udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_device");
        const char* text =
            usb != nullptr ? udev_device_get_sysattr_value(usb, "bcdDevice") : nullptr;
        if (text != nullptr)
            release = std::strtoul(text, nullptr, 16);
        udev_device_unref(node);
    }
    udev_unref(u);
    return static_cast<USHORT>(release);
}

// The report descriptor the kernel read from the device; 0 or the errno.
int ReadDescriptor(int fd, hidraw_report_descriptor& descriptor) {
    int size = 0;
    if (ioctl(fd, HIDIOCGRDESCSIZE, &size) != 0)
        return errno;
    if (size < 0 || size > HID_MAX_DESCRIPTOR_SIZE)
        return EIO;
    descriptor.size = static_cast<__u32>(size);
    return ioctl(fd, HIDIOCGRDESC, &descriptor) == 0 ? 0 : errno;
}

// What a device opened with no access asked is, from sysfs, which anyone
// may read: its report descriptor and its ids (uevent's HID_ID=bus:vid:pid).
// 0 or the errno.
int ReadFromSysfs(dev_t device, std::vector<std::uint8_t>& descriptor, unsigned& vendor,
                  unsigned& product) {
    char dir[64];
    std::snprintf(dir, sizeof dir, "/sys/dev/char/%u:%u/device/", major(device), minor(device));
    const std::string base = dir;
    std::FILE* file = std::fopen((base + "report_descriptor").c_str(), "rb");
    if (file == nullptr)
        return errno;
    descriptor.resize(HID_MAX_DESCRIPTOR_SIZE);
    descriptor.resize(std::fread(descriptor.data(), 1, descriptor.size(), file));
    std::fclose(file);
    file = std::fopen((base + "uevent").c_str(), "r");
    if (file == nullptr)
        return errno;
    char line[256];
    bool found = false;
    unsigned bus = 0;
    while (!found && std::fgets(line, sizeof line, file) != nullptr)
        found = std::sscanf(line, "HID_ID=%x:%x:%x", &bus, &vendor, &product) == 3;
    std::fclose(file);
    return found ? 0 : EIO;
}

} // namespace

bool linux_backend::IsHidrawNode(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISCHR(st.st_mode) && IsHidrawDevice(st.st_rdev);
}

HANDLE linux_backend::OpenHidraw(const char* path, DWORD desiredAccess, DWORD flags) {
    const bool read = (desiredAccess & GENERIC_READ) != 0;
    const bool write = (desiredAccess & GENERIC_WRITE) != 0;
    struct stat st;
    if (stat(path, &st) != 0) {
        LastError() = Win32FromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    if (!read && !write) {
        // No access asked: the node is not opened at all.
        std::vector<std::uint8_t> descriptor;
        unsigned vendor = 0, product = 0;
        if (const int err = ReadFromSysfs(st.st_rdev, descriptor, vendor, product); err != 0) {
            LastError() = Win32FromErrno(err);
            return INVALID_HANDLE_VALUE;
        }
        auto* device = static_cast<HidDevice*>(
            NewHidHandle(-1, path, desiredAccess, flags, descriptor.data(), descriptor.size()));
        if (device == nullptr)
            return INVALID_HANDLE_VALUE;
        device->node = st.st_rdev;
        device->vendorId = static_cast<USHORT>(vendor);
        device->productId = static_cast<USHORT>(product);
        return device;
    }
    const int mode = write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY;
    const int fd = open(path, mode | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        LastError() = Win32FromErrno(errno);
        // A query of every HID device meets nodes of others (keyboards,
        // say) that it may not open: only the device opened for use is the
        // pendant the advice speaks of.
        if (LastError() == ERROR_ACCESS_DENIED && desiredAccess != 0)
            AdviseLater(std::string("Linux: this user may not open the pendant's hidraw node ") +
                        path +
                        ". pendant-test-udev-rule VID:PID writes the udev rule that gives "
                        "the user at the local seat access to it (docs/linux.md).\n");
        return INVALID_HANDLE_VALUE;
    }
    hidraw_report_descriptor descriptor{};
    if (const int err = ReadDescriptor(fd, descriptor); err != 0) {
        close(fd);
        LastError() = Win32FromHidErrno(err);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE device = NewHidHandle(fd, path, desiredAccess, flags, descriptor.value, descriptor.size);
    if (device == nullptr)
        return INVALID_HANDLE_VALUE;
    static_cast<HidDevice*>(device)->node = st.st_rdev;
    return device;
}

HANDLE linux_backend::NewHidHandle(int fd, std::string path, DWORD desiredAccess, DWORD flags,
                                   const std::uint8_t* reportDescriptor, std::size_t length) {
    const int status = fd < 0 ? 0 : fcntl(fd, F_GETFL);
    if (status < 0 || (fd >= 0 && fcntl(fd, F_SETFL, status | O_NONBLOCK) != 0)) {
        LastError() = Win32FromErrno(errno);
        close(fd);
        return nullptr;
    }
    auto* device = new (std::nothrow) HidDevice;
    if (device != nullptr)
        device->layout.reset(new (std::nothrow) protocol::ReportLayout(
            protocol::DescribeReports(reportDescriptor, length)));
    if (device == nullptr || device->layout == nullptr) {
        delete device;
        close(fd);
        LastError() = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    device->fd = fd;
    device->path = std::move(path);
    device->mayRead = (desiredAccess & GENERIC_READ) != 0;
    device->mayWrite = (desiredAccess & GENERIC_WRITE) != 0;
    device->overlapped = (flags & FILE_FLAG_OVERLAPPED) != 0;
    LastError() = ERROR_SUCCESS;
    return device;
}

void WINAPI HidD_GetHidGuid(LPGUID HidGuid) {
    if (HidGuid != nullptr)
        *HidGuid = HidClassGuid;
}

BOOLEAN WINAPI HidD_GetAttributes(HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes) {
    auto* device = As<HidDevice>(HidDeviceObject, Kind::Hid);
    if (device == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (Attributes == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    hidraw_devinfo info{};
    if (device->fd < 0) {
        info.vendor = static_cast<__s16>(device->vendorId);
        info.product = static_cast<__s16>(device->productId);
    } else if (ioctl(device->fd, HIDIOCGRAWINFO, &info) != 0) {
        return Fail(Win32FromHidErrno(errno));
    }
    Attributes->Size = sizeof *Attributes;
    Attributes->VendorID = static_cast<USHORT>(info.vendor);
    Attributes->ProductID = static_cast<USHORT>(info.product);
    Attributes->VersionNumber = UsbRelease(static_cast<dev_t>(device->node));
    return TRUE;
}

BOOLEAN WINAPI HidD_SetFeature(HANDLE HidDeviceObject, PVOID ReportBuffer,
                               ULONG ReportBufferLength) {
    auto* device = As<HidDevice>(HidDeviceObject, Kind::Hid);
    if (device == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    // A device opened only to ask what it is is never sent a byte.
    if (!device->mayWrite)
        return Fail(ERROR_ACCESS_DENIED);
    const std::size_t length = device->layout->Longest(protocol::ReportType::Feature);
    if (ReportBuffer == nullptr || length == 0 || ReportBufferLength != length)
        return Fail(ERROR_INVALID_PARAMETER);
    int r;
    do
        r = ioctl(device->fd, HIDIOCSFEATURE(ReportBufferLength), ReportBuffer);
    while (r < 0 && errno == EINTR);
    if (r < 0)
        return Fail(Win32FromHidErrno(errno));
    return TRUE;
}
