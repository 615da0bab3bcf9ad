// What every USB host and its HID driver require of a device, judged from
// the bytes the device gives: the device and configuration descriptors, the
// report descriptor, the interrupt IN endpoint and the reports themselves.
// Each judge returns "" when the rule holds, else what was seen and which
// hosts it breaks, as one line for a person at a bench. No I/O: the check
// reads the bytes, these judge them (and the tests judge tables of them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/report_descriptor.h"

namespace protocol {

// The device's speed as its host runs it. Hosts do not always tell low
// speed from full speed (WinUSB may say low for both), so the two are
// judged alike.
enum class UsbSpeed { Unknown, Low, Full, High };

// The 18-byte device descriptor (n: the bytes GET_DESCRIPTOR gave).
std::string DeviceDescriptorFault(const std::uint8_t* d, std::size_t n, UsbSpeed speed);

// What a configuration descriptor says of one interface: its HID
// descriptor and its IN endpoint.
struct InterfaceFacts {
    std::string fault; // the configuration's lengths do not add up; "" when they do
    bool interfaceFound = false;
    bool hidDescriptor = false;              // a HID descriptor follows the interface
    bool reportDescriptorListed = false;     // ... listing a report descriptor
    std::uint16_t reportDescriptorBytes = 0; // the length it declares for it
    bool inEndpointFound = false;            // the endpoint asked for
    std::uint8_t inAttributes = 0;           // its bmAttributes
    std::uint16_t inMaxPacket = 0;           // its wMaxPacketSize, as given
    std::uint8_t inInterval = 0;             // its bInterval
};
// The configuration descriptor with what follows it (wTotalLength bytes or
// fewer), read for interface number iface (alternate setting 0) and its
// endpoint inEndpoint (0x81, say).
InterfaceFacts ReadInterfaceFacts(const std::uint8_t* config, std::size_t n, std::uint8_t iface,
                                  std::uint8_t inEndpoint);

// The interrupt IN endpoint: its type, packet size within the speed's
// limit and interval in the speed's range.
std::string InterruptInFault(const InterfaceFacts& facts, UsbSpeed speed);

// The report descriptor as the hosts' HID parsers take it: every item
// complete and short, collections, Push/Pop and delimiters balanced (Push at
// most 4 deep, as Linux's HID core allows), report ids 1 to 255, and a
// Report Size and a Report Count before every Input, Output and Feature.
// The first fault, as "at byte N: ...".
std::string ReportDescriptorFault(const std::uint8_t* d, std::size_t n);

// What the pendant must declare: input report 4 of at least 6 bytes and
// feature report 6 of 8 (the id byte counted).
std::string PendantReportsFault(const ReportLayout& layout);

// Whether a report read as it arrived has the length the descriptor
// declares for its id (its first byte where ids are used). declared: 0 when
// the descriptor declares no such input report.
std::size_t DeclaredInputBytes(const ReportLayout& layout, const std::uint8_t* report,
                               std::size_t n);

// The report lengths read, judged: count reports of a length other than
// declared (seen: one such length, the first).
std::string ReportsAsSentFault(unsigned reports, unsigned mismatched, std::size_t seenBytes,
                               std::size_t declaredBytes);

} // namespace protocol
