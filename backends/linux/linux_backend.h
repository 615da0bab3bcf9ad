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

// Called with the platform call's name as each device-facing call of the
// backend begins (CreateFileA, WinUsb_*), so that a test program can stop
// the tool between two steps of its opening, for instance to pull the
// pendant out there. None by default.
using StepHook = void (*)(const char* call);
void SetStepHook(StepHook hook);

} // namespace linux_backend
