#include "app/list.h"

#include <cstdio>

#include "pendant/pendant_device.h"
#include "usb/discovery.h"
#include "usb/interfaces.h"

namespace {
void Line(const char* path, USHORT vendor, USHORT product, const char* way) {
    std::printf("%s  %04x:%04x  %s\n", path, vendor, product, way);
}

void Failed(const char* way, HRESULT hr) {
    std::fprintf(stderr, "pendant-test: listing the %s way failed, HRESULT 0x%x\n", way,
                 static_cast<unsigned>(hr));
}
} // namespace

int ListPendants() {
    unsigned listed = 0;
    // Under the GUID: its ids come from its device descriptor, read as the
    // tool reads it (the interface taken for a moment and given back).
    HRESULT hr = ForEachInterface(PendantInterfaceGuid, [&](const char* path) {
        USB_DEVICE_DESCRIPTOR descriptor = {};
        HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
        WINUSB_INTERFACE_HANDLE usb = INVALID_HANDLE_VALUE;
        if (file != INVALID_HANDLE_VALUE && WinUsb_Initialize(file, &usb)) {
            ULONG transferred = 0;
            WinUsb_GetDescriptor(usb, USB_DEVICE_DESCRIPTOR_TYPE, 0, 0,
                                 reinterpret_cast<PUCHAR>(&descriptor), sizeof descriptor,
                                 &transferred);
            WinUsb_Free(usb);
        }
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        // One that cannot be opened now (another program has it) is still
        // listed, its ids unread.
        Line(path, descriptor.idVendor, descriptor.idProduct, "WinUSB");
        ++listed;
        return true;
    });
    if (FAILED(hr))
        Failed("WinUSB", hr);
    GUID hid;
    HidD_GetHidGuid(&hid);
    const HRESULT hidHr = ForEachInterface(hid, [&](const char* path) {
        HANDLE device = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (device == INVALID_HANDLE_VALUE)
            return true;
        HidFigures figures;
        if (IsHidPendant(device, figures)) {
            Line(path, figures.vendorId, figures.productId, "HID");
            ++listed;
        }
        CloseHandle(device);
        return true;
    });
    if (FAILED(hidHr))
        Failed("HID", hidHr);
    std::fflush(stdout);
    if (listed == 0 && SUCCEEDED(hr) && SUCCEEDED(hidHr))
        std::fprintf(stderr, "pendant-test: no pendant found either way\n");
    return listed == 0 ? 1 : 0;
}
