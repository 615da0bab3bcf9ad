// The gadget pendant's descriptors and strings for FunctionFS.
#include "gadget/descriptors.h"

#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

#include <unistd.h>

#include <string>

#include "protocol/report_descriptor.h"
#include "protocol/wire.h"

namespace gadget {

std::vector<std::uint8_t> ReportDescriptor(const Layout& layout) {
    return protocol::PendantReportDescriptor(layout.reportBytes);
}

namespace {

void Put16(std::vector<std::uint8_t>& v, unsigned x) {
    v.push_back(static_cast<std::uint8_t>(x & 0xFF));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

// The interfaces in the order of their numbers; each has one interrupt IN
// endpoint.
struct Interface {
    bool pendant;
    bool hid;
    unsigned packet;
    int interval;  // -1: the speed's 1 ms
    int hidLength; // -1: the report descriptor's own
};

std::vector<Interface> Interfaces(const Layout& layout) {
    const Interface pendant{true, true, layout.packetSize, layout.interval, layout.hidLength};
    const Interface extra{false, layout.extraHid, 8, -1, -1};
    switch (layout.extra) {
    case Extra::Before:
        return {extra, pendant};
    case Extra::After:
        return {pendant, extra};
    case Extra::None:
        break;
    }
    return {pendant};
}

// One speed's descriptors: per interface the interface, a HID descriptor for
// a HID one, its interrupt IN endpoint. Returns how many were appended.
std::uint32_t AppendSpeed(std::vector<std::uint8_t>& v, const Layout& layout,
                          std::uint8_t interval) {
    std::uint32_t count = 0;
    std::uint8_t number = 0;
    for (const Interface& i : Interfaces(layout)) {
        // A vendor-specific class keeps every kernel driver off the extra one.
        const std::uint8_t cls = i.hid ? USB_CLASS_HID : USB_CLASS_VENDOR_SPEC;
        const std::uint8_t intf[] = {USB_DT_INTERFACE_SIZE,
                                     USB_DT_INTERFACE,
                                     number,
                                     0,
                                     1,
                                     cls,
                                     0,
                                     0,
                                     static_cast<std::uint8_t>(number + 1)};
        v.insert(v.end(), intf, intf + sizeof intf);
        ++count;
        if (i.hid) {
            // HID 1.11, no country, one report descriptor.
            const std::uint8_t hidDesc[] = {9, HidDescriptorType,      0x11, 0x01, 0,
                                            1, HidReportDescriptorType};
            v.insert(v.end(), hidDesc, hidDesc + sizeof hidDesc);
            Put16(v, static_cast<unsigned>(i.hidLength >= 0 ? i.hidLength
                                                            : ReportDescriptor(layout).size()));
            ++count;
        }
        ++number;
        const std::uint8_t ep[] = {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT,
                                   static_cast<std::uint8_t>(USB_DIR_IN | number),
                                   USB_ENDPOINT_XFER_INT};
        v.insert(v.end(), ep, ep + sizeof ep);
        Put16(v, i.packet);
        v.push_back(i.interval >= 0 ? static_cast<std::uint8_t>(i.interval) : interval);
        ++count;
    }
    return count;
}

} // namespace

unsigned PendantInterface(const Layout& layout) {
    return layout.extra == Extra::Before ? 1 : 0;
}

bool IsHidInterface(const Layout& layout, unsigned number) {
    const std::vector<Interface> all = Interfaces(layout);
    return number < all.size() && all[number].hid;
}

std::string PendantEndpointFile(const Layout& layout) {
    return "ep" + std::to_string(PendantInterface(layout) + 1);
}

bool LeftUnanswered(const Layout& layout, const std::uint8_t* setup) {
    const bool pendant = setup[4] == PendantInterface(layout);
    switch (layout.unanswered) {
    case Unanswered::SetIdle:
        return pendant && setup[0] == HidRequestTypeClassInterfaceOut && setup[1] == HidSetIdle;
    case Unanswered::GetReport:
        return pendant && setup[0] == HidRequestTypeClassInterfaceIn && setup[1] == HidGetReport;
    case Unanswered::None:
        break;
    }
    return false;
}

std::vector<std::uint8_t> Descriptors(const Layout& layout, int eventFd) {
    std::vector<std::uint8_t> body;
    // 1 ms polling at both speeds (full speed counts frames, high speed
    // 2^(n-1) microframes).
    const std::uint32_t fsCount = AppendSpeed(body, layout, 1);
    const std::uint32_t hsCount = AppendSpeed(body, layout, 4);
    std::vector<std::uint8_t> v;
    const bool withEventFd = eventFd >= 0;
    Put32(v, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    Put32(v, static_cast<std::uint32_t>(12 + (withEventFd ? 4 : 0) + 8 + body.size()));
    Put32(v,
          FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC | (withEventFd ? FUNCTIONFS_EVENTFD : 0));
    if (withEventFd)
        Put32(v, static_cast<std::uint32_t>(eventFd));
    Put32(v, fsCount);
    Put32(v, hsCount);
    v.insert(v.end(), body.begin(), body.end());
    return v;
}

// One name per interface (iInterface 1, 2 in the descriptors; FunctionFS
// gives the host the gadget's own string ids for them).
std::vector<std::uint8_t> Strings(const Layout& layout) {
    std::vector<std::string> names;
    for (const Interface& i : Interfaces(layout))
        names.push_back(i.pendant ? "pendant"
                        : i.hid   ? "second HID interface"
                                  : "vendor interface");
    std::vector<std::uint8_t> text;
    for (const std::string& n : names)
        text.insert(text.end(), n.c_str(), n.c_str() + n.size() + 1);
    std::vector<std::uint8_t> v;
    Put32(v, FUNCTIONFS_STRINGS_MAGIC);
    Put32(v, static_cast<std::uint32_t>(16 + 2 + text.size()));
    Put32(v, static_cast<std::uint32_t>(names.size())); // strings per language
    Put32(v, 1);                                        // languages
    Put16(v, 0x0409);
    v.insert(v.end(), text.begin(), text.end());
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
