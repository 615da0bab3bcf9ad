// The gadget's FunctionFS descriptors for each layout the VM scenarios use:
// what the host will be told about interfaces and endpoints, and when a
// report needs a zero-length packet to end; and the faulty pendant's
// descriptors (--hid-length, --interval).
#include <gtest/gtest.h>

#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

#include <cstdint>
#include <vector>

#include "gadget/descriptors.h"
#include "protocol/report_descriptor.h"
#include "tests/gadget/kernel_standin.h"

namespace {

using gadget::Extra;
using gadget::Layout;

std::uint32_t U32(const std::vector<std::uint8_t>& v, std::size_t at) {
    return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) |
           (static_cast<std::uint32_t>(v[at + 3]) << 24);
}

struct Seen {
    std::vector<unsigned> classes; // per interface, in order
    std::vector<unsigned> numbers;
    std::vector<unsigned> reportLengths; // per HID descriptor
    std::vector<unsigned> packets;       // per endpoint
    std::vector<unsigned> addresses;
    std::vector<unsigned> intervals;
    unsigned descriptors = 0;
};

// One speed's descriptors, from `at`; returns where the next speed starts.
std::size_t Walk(const std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t count,
                 Seen& seen) {
    for (std::uint32_t i = 0; i < count; ++i) {
        EXPECT_LT(at + 1, v.size());
        const std::uint8_t length = v[at], type = v[at + 1];
        if (type == USB_DT_INTERFACE) {
            seen.numbers.push_back(v[at + 2]);
            seen.classes.push_back(v[at + 5]);
        } else if (type == HidDescriptorType) {
            EXPECT_EQ(v[at + 6], HidReportDescriptorType);
            seen.reportLengths.push_back(v[at + 7] | (v[at + 8] << 8));
        } else if (type == USB_DT_ENDPOINT) {
            seen.addresses.push_back(v[at + 2]);
            EXPECT_EQ(v[at + 3], USB_ENDPOINT_XFER_INT);
            seen.packets.push_back(v[at + 4] | (v[at + 5] << 8));
            seen.intervals.push_back(v[at + 6]);
        }
        ++seen.descriptors;
        at += length;
    }
    return at;
}

struct Case {
    const char* name;
    Layout layout;
    std::vector<unsigned> classes;
    std::vector<unsigned> packets;
    unsigned pendant;
    const char* endpointFile;
};

TEST(GadgetDescriptors, EachLayoutTellsTheHostWhatItIs) {
    const unsigned Hid = USB_CLASS_HID, Vendor = USB_CLASS_VENDOR_SPEC;
    const Case cases[] = {
        {"the pendant alone", {8, Extra::None, false}, {Hid}, {8}, 0, "ep1"},
        {"4-byte packets", {4, Extra::None, false}, {Hid}, {4}, 0, "ep1"},
        {"vendor interface first", {8, Extra::Before, false}, {Vendor, Hid}, {8, 8}, 1, "ep2"},
        {"HID interface after", {4, Extra::After, true}, {Hid, Hid}, {4, 8}, 0, "ep1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> v = gadget::Descriptors(c.layout);
        ASSERT_GE(v.size(), 20U);
        EXPECT_EQ(U32(v, 0), static_cast<std::uint32_t>(FUNCTIONFS_DESCRIPTORS_MAGIC_V2));
        EXPECT_EQ(U32(v, 4), v.size());
        EXPECT_EQ(U32(v, 8),
                  static_cast<std::uint32_t>(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC));
        Seen full, high;
        const std::size_t hsAt = Walk(v, 20, U32(v, 12), full);
        EXPECT_EQ(Walk(v, hsAt, U32(v, 16), high), v.size());
        for (const Seen* s : {&full, &high}) {
            EXPECT_EQ(s->classes, c.classes);
            EXPECT_EQ(s->packets, c.packets);
            for (std::size_t i = 0; i < s->numbers.size(); ++i) {
                EXPECT_EQ(s->numbers[i], i);
                EXPECT_EQ(s->addresses[i], USB_DIR_IN | (i + 1));
            }
        }
        EXPECT_EQ(gadget::PendantInterface(c.layout), c.pendant);
        EXPECT_EQ(gadget::PendantEndpointFile(c.layout), c.endpointFile);
        for (unsigned n = 0; n < c.classes.size(); ++n)
            EXPECT_EQ(gadget::IsHidInterface(c.layout, n), c.classes[n] == Hid) << n;
        EXPECT_FALSE(gadget::IsHidInterface(c.layout, static_cast<unsigned>(c.classes.size())));
        // One string per interface.
        EXPECT_EQ(U32(gadget::Strings(c.layout), 8), c.classes.size());
    }
}

// Both speeds' descriptors, walked.
void WalkBoth(const Layout& layout, Seen& full, Seen& high) {
    const std::vector<std::uint8_t> v = gadget::Descriptors(layout);
    ASSERT_GE(v.size(), 20U);
    const std::size_t hsAt = Walk(v, 20, U32(v, 12), full);
    EXPECT_EQ(Walk(v, hsAt, U32(v, 16), high), v.size());
}

// --hid-length: the pendant's HID descriptor declares the length asked for
// while GET_DESCRIPTOR still gives the real report descriptor; a second HID
// interface declares its own.
TEST(GadgetDescriptors, HidDescriptorDeclaresTheReportLengthAskedFor) {
    const unsigned real = static_cast<unsigned>(protocol::PendantReportDescriptor(8).size());
    const struct {
        int hidLength;
        unsigned declared;
    } cases[] = {{-1, real}, {40, 40}, {0, 0}, {0xFFFF, 0xFFFF}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hidLength);
        const Layout layout{.extra = Extra::After, .extraHid = true, .hidLength = c.hidLength};
        Seen full, high;
        WalkBoth(layout, full, high);
        EXPECT_EQ(full.reportLengths, (std::vector<unsigned>{c.declared, real}));
        EXPECT_EQ(high.reportLengths, full.reportLengths);
        standin::Served served(layout);
        const standin::DataStage answer = served.host.Control(SetupBytes(ReportDescriptorSetup));
        EXPECT_EQ(answer.kind, standin::DataStage::Kind::Answered);
        EXPECT_EQ(answer.bytes, protocol::PendantReportDescriptor(8));
    }
}

// --interval: the pendant's IN endpoint polled at the interval asked for at
// both speeds (any byte, as a faulty pendant may give); by default 1 ms at
// either, as the second interface's stays.
TEST(GadgetDescriptors, IntervalAtBothSpeeds) {
    const struct {
        int interval;
        unsigned full, high;
    } cases[] = {{-1, 1, 4}, {0, 0, 0}, {10, 10, 10}, {255, 255, 255}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.interval);
        Seen full, high;
        WalkBoth(Layout{.extra = Extra::After, .interval = c.interval}, full, high);
        EXPECT_EQ(full.intervals, (std::vector<unsigned>{c.full, 1}));
        EXPECT_EQ(high.intervals, (std::vector<unsigned>{c.high, 4}));
    }
}

} // namespace
