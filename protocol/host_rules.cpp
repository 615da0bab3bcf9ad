#include "protocol/host_rules.h"

#include <cstdarg>
#include <cstdio>

#include "protocol/wire.h"

namespace protocol {

namespace {

// Sizes as printf's %u takes them everywhere (not all C libraries know %zu);
// descriptors are far shorter than 2^32.
unsigned U(std::size_t n) {
    return static_cast<unsigned>(n);
}

// printf into a std::string: each judge says one short line. Fixed
// findings go through it too, so that they stay whole strings in the
// program (a literal copied into a std::string inline is built from pieces
// of code, which Debian's spelling check then reads as misspelt words).
[[gnu::format(printf, 1, 2)]] std::string Say(const char* format, ...) {
    char line[256];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

constexpr std::uint8_t DeviceDescriptorType = 1;
constexpr std::uint8_t ConfigurationDescriptorType = 2;
constexpr std::uint8_t InterfaceDescriptorType = 4;
constexpr std::uint8_t EndpointDescriptorType = 5;
constexpr std::uint8_t TransferTypeMask = 3;
constexpr std::uint8_t TransferInterrupt = 3;

// Linux's HID core: the depth of its Push stack, and its limits on a
// field's bits and count.
constexpr unsigned MaxPushDepth = 4;
constexpr std::uint32_t MaxReportSize = 256;
constexpr std::uint32_t MaxReportCount = 12288;

const char* const LinuxRefuses = "Linux's HID core refuses the descriptor";
const char* const ClassRequires =
    "the HID class requires it, and parsers that keep to it refuse the descriptor";

struct Globals {
    bool sizeGiven = false;
    bool countGiven = false;
};

} // namespace

std::string DeviceDescriptorFault(const std::uint8_t* d, std::size_t n, UsbSpeed speed) {
    const char* const refused = "hosts refuse the device";
    if (n < 18)
        return Say("GET_DESCRIPTOR gave %u of its 18 bytes: %s", U(n), refused);
    if (d[0] != 18)
        return Say("bLength is %u, not 18: %s", d[0], refused);
    if (d[1] != DeviceDescriptorType)
        return Say("bDescriptorType is %u, not 1 (device): %s", d[1], refused);
    const unsigned ep0 = d[7];
    if (ep0 != 8 && ep0 != 16 && ep0 != 32 && ep0 != 64)
        return Say("bMaxPacketSize0 is %u (8, 16, 32 or 64): %s", ep0, refused);
    if (speed == UsbSpeed::High && ep0 != 64)
        return Say("bMaxPacketSize0 is %u at high speed (64): %s", ep0, refused);
    if (d[17] == 0)
        return Say("bNumConfigurations is 0: no host can configure the device");
    return "";
}

InterfaceFacts ReadInterfaceFacts(const std::uint8_t* c, std::size_t n, std::uint8_t iface,
                                  std::uint8_t inEndpoint) {
    InterfaceFacts f;
    if (n < 9 || c[0] < 9 || c[1] != ConfigurationDescriptorType) {
        f.fault = Say("GET_DESCRIPTOR (configuration) gave %u bytes and no configuration", U(n));
        return f;
    }
    const std::size_t total = GetLe16(c + 2);
    if (total > n) {
        f.fault = Say("wTotalLength is %u, the device gave %u bytes", U(total), U(n));
        return f;
    }
    bool inside = false; // within interface iface, alternate setting 0
    for (std::size_t at = 0; at < total;) {
        const std::size_t length = c[at];
        if (length < 2 || length > total - at) {
            f.fault = Say("the descriptor at byte %u has bLength %u, past wTotalLength %u", U(at),
                          U(length), U(total));
            return f;
        }
        const std::uint8_t* d = c + at;
        if (d[1] == InterfaceDescriptorType && length >= 9) {
            inside = d[2] == iface && d[3] == 0;
            f.interfaceFound = f.interfaceFound || inside;
        } else if (inside && d[1] == HidDescriptorType && length >= 6) {
            f.hidDescriptor = true;
            for (std::size_t k = 0; k < d[5] && 6 + 3 * k + 3 <= length; ++k)
                if (d[6 + 3 * k] == HidReportDescriptorType && !f.reportDescriptorListed) {
                    f.reportDescriptorListed = true;
                    f.reportDescriptorBytes = GetLe16(d + 7 + 3 * k);
                }
        } else if (inside && d[1] == EndpointDescriptorType && length >= 7 && d[2] == inEndpoint) {
            f.inEndpointFound = true;
            f.inAttributes = d[3];
            f.inMaxPacket = GetLe16(d + 4);
            f.inInterval = d[6];
        }
        at += length;
    }
    return f;
}

std::string InterruptInFault(const InterfaceFacts& f, UsbSpeed speed) {
    if (!f.inEndpointFound)
        return Say("the configuration descriptor lists no such IN endpoint in the interface");
    if ((f.inAttributes & TransferTypeMask) != TransferInterrupt)
        return Say(
            "not an interrupt endpoint: HID hosts read reports from an interrupt IN endpoint");
    const unsigned packet = f.inMaxPacket & 0x7FF;
    const unsigned extra = (f.inMaxPacket >> 11) & 3;
    const char* const substituted = "hosts substitute an interval of their own";
    if (speed == UsbSpeed::High) {
        if (packet == 0 || packet > 1024 || extra > 2)
            return Say("wMaxPacketSize 0x%04x at high speed (1 to 1024 bytes, at most 2 more "
                       "transactions): hosts clamp it or refuse the device",
                       f.inMaxPacket);
        if (f.inInterval < 1 || f.inInterval > 16)
            return Say("bInterval %u at high speed (1 to 16): %s", f.inInterval, substituted);
        return "";
    }
    if (packet == 0 || packet > 64 || extra != 0)
        return Say("wMaxPacketSize 0x%04x at full speed (1 to 64 bytes): hosts clamp it or refuse "
                   "the device",
                   f.inMaxPacket);
    if (f.inInterval < 1)
        return Say("bInterval %u at full speed (1 to 255 ms): %s", f.inInterval, substituted);
    return "";
}

std::string ReportDescriptorFault(const std::uint8_t* d, std::size_t n) {
    if (n == 0)
        return std::string("the report descriptor is empty: ") + LinuxRefuses;
    Globals g;
    Globals stack[MaxPushDepth];
    unsigned pushed = 0, collections = 0, delimiters = 0;
    static const char* const mainNames[] = {"Input", "Output", "Collection", "Feature"};
    for (std::size_t at = 0; at < n;) {
        const std::uint8_t prefix = d[at];
        if (prefix == 0xFE)
            return Say("at byte %u: a long item (the HID class defines none): %s", U(at),
                       LinuxRefuses);
        const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (n - at - 1 < size)
            return Say("at byte %u: the item is cut short (%u data bytes, %u left): %s", U(at),
                       U(size), U(n - at - 1), LinuxRefuses);
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value |= static_cast<std::uint32_t>(d[at + 1 + i]) << (8 * i);
        const unsigned type = (prefix >> 2) & 3, tag = prefix >> 4;
        if (type == 1) { // global
            if (tag > 0xB)
                return Say("at byte %u: a global item of reserved tag %u: %s", U(at), tag,
                           LinuxRefuses);
            if (tag == 0x7 && value > MaxReportSize)
                return Say("at byte %u: Report Size %u (Linux takes at most 256 bits): %s", U(at),
                           value, LinuxRefuses);
            if (tag == 0x9 && value > MaxReportCount)
                return Say("at byte %u: Report Count %u (Linux takes at most 12288): %s", U(at),
                           value, LinuxRefuses);
            if (tag == 0x8 && (value == 0 || value > 255))
                return Say("at byte %u: Report ID %u (ids are 1 to 255): %s", U(at), value,
                           LinuxRefuses);
            if (tag == 0xA && pushed == MaxPushDepth)
                return Say("at byte %u: Push nests deeper than 4: %s", U(at), LinuxRefuses);
            if (tag == 0xB && pushed == 0)
                return Say("at byte %u: Pop without a Push: %s", U(at), LinuxRefuses);
            if (tag == 0x7)
                g.sizeGiven = true;
            else if (tag == 0x9)
                g.countGiven = true;
            else if (tag == 0xA)
                stack[pushed++] = g;
            else if (tag == 0xB)
                g = stack[--pushed];
        } else if (type == 2 && tag == 0xA) { // local: Delimiter
            if (value == 1 && delimiters > 0)
                return Say("at byte %u: a Delimiter opened within another: %s", U(at),
                           LinuxRefuses);
            if (value == 0 && delimiters == 0)
                return Say("at byte %u: a Delimiter closed that was not opened: %s", U(at),
                           LinuxRefuses);
            delimiters = value == 1 ? 1 : 0;
        } else if (type == 0) { // main
            if (tag == 0xC && collections == 0)
                return Say("at byte %u: End Collection closes no collection: %s", U(at),
                           LinuxRefuses);
            if (tag == 0xA)
                ++collections;
            else if (tag == 0xC)
                --collections;
            else if ((tag == 0x8 || tag == 0x9 || tag == 0xB) && !(g.sizeGiven && g.countGiven))
                return Say("at byte %u: %s before any Report %s: %s", U(at), mainNames[tag - 0x8],
                           g.sizeGiven ? "Count" : "Size", ClassRequires);
            // Delimiters are local items: a main item ends them.
            delimiters = 0;
        }
        at += 1 + size;
    }
    if (collections != 0)
        return Say("at the end: %u collection%s left open: %s", collections,
                   collections == 1 ? "" : "s", LinuxRefuses);
    if (delimiters != 0)
        return Say("at the end: a Delimiter left open: %s", LinuxRefuses);
    if (pushed != 0)
        return Say("at the end: %u Push%s without a Pop: %s", pushed, pushed == 1 ? "" : "es",
                   ClassRequires);
    return "";
}

std::string PendantReportsFault(const ReportLayout& layout) {
    std::string faults;
    const auto add = [&](const std::string& fault) {
        faults += (faults.empty() ? "" : "; ") + fault;
    };
    const std::size_t input = layout.Bytes(ReportType::Input, WheelReportId);
    const std::size_t feature = layout.Bytes(ReportType::Feature, DisplayReportId);
    if (!layout.usesIds)
        add("no report ids (the pendant's reports are input 4 and feature 6)");
    else if (input == 0)
        add("no input report 4");
    else if (input < InputReportLookedAt)
        add(Say("input report 4 of %u bytes (at least 6)", U(input)));
    if (layout.usesIds && feature == 0)
        add("no feature report 6 (the display's)");
    else if (layout.usesIds && feature != DisplayReportBytes)
        add(Say("feature report 6 of %u bytes (8, as the display sends them)", U(feature)));
    return faults.empty() ? faults : "declares " + faults;
}

std::size_t DeclaredInputBytes(const ReportLayout& layout, const std::uint8_t* report,
                               std::size_t n) {
    if (!layout.usesIds)
        return layout.Bytes(ReportType::Input, 0);
    return n == 0 ? 0 : layout.Bytes(ReportType::Input, report[0]);
}

std::string ReportsAsSentFault(unsigned reports, unsigned mismatched, std::size_t seenBytes,
                               std::size_t declaredBytes) {
    if (mismatched == 0)
        return "";
    const char* const dropped = "Linux's hidraw and Windows' HID driver drop such reports";
    if (declaredBytes == 0)
        return Say("%u of %u reports are of an input report the descriptor does not declare: %s",
                   mismatched, reports, dropped);
    return Say("%u of %u reports were %u bytes where the descriptor declares %u: %s", mismatched,
               reports, U(seenBytes), U(declaredBytes), dropped);
}

} // namespace protocol
