// What the Linux backend offers beyond the platform facade itself.
#pragma once

#include <string>
#include <vector>

#include "usb/winapi.h"

namespace linux_backend {

// A device information set listing the given device paths as interfaces of
// `guid`, in this order: what SetupDiGetClassDevsA returns after asking
// udev. Released with SetupDiDestroyDeviceInfoList.
HDEVINFO NewDevInfoSet(const GUID& guid, std::vector<std::string> devicePaths);

} // namespace linux_backend
