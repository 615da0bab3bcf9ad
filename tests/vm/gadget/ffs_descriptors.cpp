// The gadget pendant's descriptors and strings for FunctionFS.
#include "tests/vm/gadget/ffs_descriptors.h"

#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

#include <unistd.h>

namespace gadget {

// Input report 4 (five data bytes after the id) and feature report 6 (seven):
// the shapes the host tool reads and writes. The tool reads one packet at a
// time, so both the 6-byte report (a short packet) and one padded to a full
// 8-byte packet arrive whole. A vendor usage page keeps the kernel's HID
// input layer from making it a keyboard.
const std::uint8_t ReportDescriptor[] = {
    0x06, 0x00, 0xFF, // Usage Page (vendor 0xFF00)
    0x09, 0x01,       // Usage (1)
    0xA1, 0x01,       // Collection (Application)
    0x85, 0x04,       //   Report ID (4)
    0x09, 0x02,       //   Usage (2)
    0x15, 0x00,       //   Logical Minimum (0)
    0x26, 0xFF, 0x00, //   Logical Maximum (255)
    0x75, 0x08,       //   Report Size (8)
    0x95, 0x07,       //   Report Count (7)
    0x81, 0x02,       //   Input (Data, Var, Abs)
    0x85, 0x06,       //   Report ID (6)
    0x09, 0x03,       //   Usage (3)
    0x95, 0x07,       //   Report Count (7)
    0xB1, 0x02,       //   Feature (Data, Var, Abs)
    0xC0,             // End Collection
};
const std::size_t ReportDescriptorBytes = sizeof ReportDescriptor;

namespace {

void Put16(std::vector<std::uint8_t>& v, unsigned x) {
    v.push_back(static_cast<std::uint8_t>(x & 0xFF));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

// One speed's descriptors: interface, HID descriptor, endpoint. Returns how
// many descriptors were appended.
std::uint32_t AppendSpeed(std::vector<std::uint8_t>& v, std::uint8_t interval) {
    const std::uint8_t intf[] = {
        USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, 0, 0, 1, USB_CLASS_HID, 0, 0, 1};
    v.insert(v.end(), intf, intf + sizeof intf);
    const std::uint8_t hidDesc[] = {9, 0x21, 0x11, 0x01, 0, 1, 0x22};
    v.insert(v.end(), hidDesc, hidDesc + sizeof hidDesc);
    Put16(v, static_cast<unsigned>(ReportDescriptorBytes));
    const std::uint8_t ep[] = {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, USB_DIR_IN | 1,
                               USB_ENDPOINT_XFER_INT};
    v.insert(v.end(), ep, ep + sizeof ep);
    Put16(v, 8);
    v.push_back(interval);
    return 3;
}

} // namespace

std::vector<std::uint8_t> Descriptors() {
    std::vector<std::uint8_t> body;
    // 1 ms polling at both speeds (full speed counts frames, high speed
    // 2^(n-1) microframes).
    const std::uint32_t fsCount = AppendSpeed(body, 1);
    const std::uint32_t hsCount = AppendSpeed(body, 4);
    std::vector<std::uint8_t> v;
    Put32(v, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    Put32(v, static_cast<std::uint32_t>(12 + 8 + body.size()));
    Put32(v, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    Put32(v, fsCount);
    Put32(v, hsCount);
    v.insert(v.end(), body.begin(), body.end());
    return v;
}

std::vector<std::uint8_t> Strings() {
    static const char InterfaceName[] = "virtual pendant";
    std::vector<std::uint8_t> v;
    Put32(v, FUNCTIONFS_STRINGS_MAGIC);
    Put32(v, static_cast<std::uint32_t>(16 + 2 + sizeof InterfaceName));
    Put32(v, 1); // strings per language
    Put32(v, 1); // languages
    Put16(v, 0x0409);
    v.insert(v.end(), InterfaceName, InterfaceName + sizeof InterfaceName);
    return v;
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& v) {
    return write(fd, v.data(), v.size()) == static_cast<ssize_t>(v.size());
}

const char* EventName(unsigned type) {
    switch (type) {
    case FUNCTIONFS_BIND:
        return "BIND";
    case FUNCTIONFS_UNBIND:
        return "UNBIND";
    case FUNCTIONFS_ENABLE:
        return "ENABLE";
    case FUNCTIONFS_DISABLE:
        return "DISABLE";
    case FUNCTIONFS_SETUP:
        return "SETUP-EVENT";
    case FUNCTIONFS_SUSPEND:
        return "SUSPEND";
    case FUNCTIONFS_RESUME:
        return "RESUME";
    default:
        return "UNKNOWN";
    }
}

} // namespace gadget
