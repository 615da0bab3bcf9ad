// SetupAPI on udev. A device exposes a device interface GUID when a udev
// rule has put that GUID into its DEVICE_INTERFACE_GUIDS property: the
// counterpart of a driver package registering the interface. The device
// path is the usbfs node (/dev/bus/usb/BBB/DDD). The HID class is the HID
// driver's own, as on Windows: every hidraw node (/dev/hidrawN).
#include <libudev.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "backends/linux/error_map.h"
#include "backends/linux/handles.h"
#include "backends/linux/interface_guid.h"
#include "backends/linux/linux_backend.h"

namespace {

// The device nodes of the interface class: for the HID class every hidraw
// node, else the present USB devices whose property lists guid; or the
// error that kept udev from saying (then false).
bool ListDevices(const GUID& guid, std::vector<std::string>& paths, DWORD& error) {
    const bool hid = guid == linux_backend::HidClassGuid;
    errno = 0;
    udev* u = udev_new();
    if (u == nullptr) {
        error = errno != 0 ? linux_backend::Win32FromErrno(errno) : ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    udev_enumerate* e = udev_enumerate_new(u);
    int r = e == nullptr ? -ENOMEM : 0;
    if (r == 0)
        r = udev_enumerate_add_match_subsystem(e, hid ? "hidraw" : "usb");
    if (r == 0 && !hid)
        r = udev_enumerate_add_match_property(e, "DEVTYPE", "usb_device");
    if (r == 0)
        r = udev_enumerate_add_match_is_initialized(e);
    if (r == 0)
        r = udev_enumerate_scan_devices(e);
    if (r < 0) {
        error = linux_backend::Win32FromErrno(-r);
    } else {
        udev_list_entry* entry;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e)) {
            // A device that went away since the scan is simply not listed.
            udev_device* d = udev_device_new_from_syspath(u, udev_list_entry_get_name(entry));
            if (d == nullptr)
                continue;
            const char* guids =
                udev_device_get_property_value(d, linux_backend::InterfaceGuidsProperty);
            const char* node = udev_device_get_devnode(d);
            if (node != nullptr &&
                (hid || (guids != nullptr && linux_backend::PropertyListsGuid(guids, guid))))
                paths.emplace_back(node);
            udev_device_unref(d);
        }
    }
    if (e != nullptr)
        udev_enumerate_unref(e);
    udev_unref(u);
    return r >= 0;
}

} // namespace

using namespace linux_backend;

HDEVINFO linux_backend::NewDevInfoSet(const GUID& guid, std::vector<std::string> devicePaths) {
    auto* set = new (std::nothrow) DevInfoSet;
    if (set == nullptr) {
        LastError() = ERROR_NOT_ENOUGH_MEMORY;
        return INVALID_HANDLE_VALUE;
    }
    set->guid = guid;
    set->paths = std::move(devicePaths);
    LastError() = ERROR_SUCCESS;
    return set;
}

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR /*Enumerator*/,
                                     HWND /*hwndParent*/, DWORD Flags) {
    // Only the interface listing is supported; udev only knows present
    // devices, so DIGCF_PRESENT is what we do anyway.
    if (ClassGuid == nullptr || !(Flags & DIGCF_DEVICEINTERFACE) || (Flags & DIGCF_ALLCLASSES)) {
        LastError() = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    std::vector<std::string> paths;
    DWORD error = ERROR_SUCCESS;
    if (!ListDevices(*ClassGuid, paths, error)) {
        LastError() = error;
        return INVALID_HANDLE_VALUE;
    }
    return linux_backend::NewDevInfoSet(*ClassGuid, std::move(paths));
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA /*DeviceInfoData*/,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    auto* set = As<DevInfoSet>(DeviceInfoSet, Kind::DevInfo);
    if (set == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (InterfaceClassGuid == nullptr || DeviceInterfaceData == nullptr ||
        DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return Fail(ERROR_INVALID_PARAMETER);
    if (!(*InterfaceClassGuid == set->guid) || MemberIndex >= set->paths.size())
        return Fail(ERROR_NO_MORE_ITEMS);
    DeviceInterfaceData->InterfaceClassGuid = *InterfaceClassGuid;
    DeviceInterfaceData->Flags = 1; // SPINT_ACTIVE
    DeviceInterfaceData->Reserved = static_cast<ULONG_PTR>(MemberIndex) + 1;
    LastError() = ERROR_SUCCESS;
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA /*DeviceInfoData*/) {
    auto* set = As<DevInfoSet>(DeviceInfoSet, Kind::DevInfo);
    if (set == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (DeviceInterfaceData == nullptr || DeviceInterfaceData->Reserved == 0 ||
        DeviceInterfaceData->Reserved > set->paths.size())
        return Fail(ERROR_INVALID_PARAMETER);
    const std::string& path = set->paths[DeviceInterfaceData->Reserved - 1];
    const std::size_t need =
        offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1;
    if (RequiredSize != nullptr)
        *RequiredSize = static_cast<DWORD>(need);
    if (DeviceInterfaceDetailData == nullptr)
        return Fail(DeviceInterfaceDetailDataSize == 0 ? ERROR_INSUFFICIENT_BUFFER
                                                       : ERROR_INVALID_USER_BUFFER);
    if (DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (DeviceInterfaceDetailDataSize < need)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(DeviceInterfaceDetailData->DevicePath, path.c_str(), path.size() + 1);
    LastError() = ERROR_SUCCESS;
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    auto* set = As<DevInfoSet>(DeviceInfoSet, Kind::DevInfo);
    if (set == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    set->kind = Kind{};
    delete set;
    LastError() = ERROR_SUCCESS;
    return TRUE;
}
