// What the Linux backend offers beyond the platform facade itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "usb/winapi.h"

namespace linux_backend {

// A device information set listing the given device paths as interfaces of
// `guid`, in this order: what SetupDiGetClassDevsA returns after asking
// udev. Released with SetupDiDestroyDeviceInfoList.
HDEVINFO NewDevInfoSet(const GUID& guid, std::vector<std::string> devicePaths);

// A HID handle on an open file descriptor, as CreateFileA makes for a
// hidraw node: the descriptor's reports as the device declares them,
// access as asked (GENERIC_READ, GENERIC_WRITE; FILE_FLAG_OVERLAPPED in
// flags). It takes the file descriptor, made non-blocking, and closes it
// with the handle; nullptr (and fd closed, the last error set) on failure.
// Tests give it a socket that stands in for the node.
HANDLE NewHidHandle(int fd, std::string path, DWORD desiredAccess, DWORD flags,
                    const std::uint8_t* reportDescriptor, std::size_t length);

// Called with the platform call's name as each device-facing call of the
// backend begins (CreateFileA, WinUsb_*), so that a test program can stop
// the tool between two steps of its opening, for instance to pull the
// pendant out there. None by default.
using StepHook = void (*)(const char* call);
void SetStepHook(StepHook hook);

} // namespace linux_backend
