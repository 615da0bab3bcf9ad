// Prints the sizes that the real Windows headers give the SetupAPI structures
// pendant-test.exe fills in: the cbSize of SP_DEVICE_INTERFACE_DATA and of the
// fixed part of SP_DEVICE_INTERFACE_DETAIL_DATA_A (byte-packed in a 32-bit
// build). With --listed it also asks SetupAPI for the detail of the first
// interface under the pendant's GUID twice: once with the header's cbSize,
// which must be accepted, and once with the other architecture's, which
// SetupAPI must refuse; that shows the value is checked, not decorative.
#include <windows.h>

#include <setupapi.h>

#include <cstdio>
#include <cstring>

namespace {

const GUID PendantInterface = {
    0x136917CC, 0x8699, 0x43EC, {0xB5, 0xA9, 0x89, 0x26, 0xD7, 0x16, 0x5D, 0xE7}};

int Listed() {
    HDEVINFO set = SetupDiGetClassDevsA(&PendantInterface, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        std::printf("SetupDiGetClassDevsA failed: %lu\n", GetLastError());
        return 1;
    }
    SP_DEVICE_INTERFACE_DATA data;
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &PendantInterface, 0, &data)) {
        std::printf("no interface listed: %lu\n", GetLastError());
        SetupDiDestroyDeviceInfoList(set);
        return 1;
    }
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &needed, nullptr);
    const DWORD sizes[2] = {sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A),
                            sizeof(void*) == 4 ? 8u : 5u};
    for (DWORD size : sizes) {
        auto* detail =
            static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(LocalAlloc(LMEM_FIXED, needed));
        if (detail == nullptr)
            return 1;
        detail->cbSize = size;
        SetLastError(0);
        BOOL ok = SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, nullptr, nullptr);
        std::printf("detail cbSize %lu: %s %lu\n", size, ok ? "accepted" : "refused, error",
                    ok ? static_cast<unsigned long>(std::strlen(detail->DevicePath))
                       : GetLastError());
        LocalFree(detail);
    }
    SetupDiDestroyDeviceInfoList(set);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::printf("pointer size %u\n", static_cast<unsigned>(sizeof(void*)));
    std::printf("SP_DEVICE_INTERFACE_DATA cbSize %u\n",
                static_cast<unsigned>(sizeof(SP_DEVICE_INTERFACE_DATA)));
    std::printf("SP_DEVICE_INTERFACE_DETAIL_DATA_A cbSize %u\n",
                static_cast<unsigned>(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)));
    if (argc > 1 && std::strcmp(argv[1], "--listed") == 0)
        return Listed();
    return 0;
}
