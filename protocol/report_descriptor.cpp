#include "protocol/report_descriptor.h"

#include <algorithm>
#include <array>

#include "protocol/wire.h"

namespace protocol {

namespace {

// Item prefixes: tag in the high nibble, type in bits 2-3, size in bits 0-1.
enum : std::uint8_t {
    TypeMain = 0,
    TypeGlobal = 1,
    TypeLocal = 2,
    LongItem = 0xFE,
    MainInput = 0x8,
    MainOutput = 0x9,
    MainCollection = 0xA,
    MainFeature = 0xB,
    MainEndCollection = 0xC,
    GlobalUsagePage = 0x0,
    GlobalReportSize = 0x7,
    GlobalReportId = 0x8,
    GlobalReportCount = 0x9,
    GlobalPush = 0xA,
    GlobalPop = 0xB,
    LocalUsage = 0x0,
};

struct Globals {
    std::uint32_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
};

// Deep enough for any real descriptor; deeper is treated as malformed.
constexpr std::size_t MaxPushDepth = 16;
// A report's bits saturate here: far beyond any report, and no overflow.
constexpr std::uint64_t MaxReportBits = 1u << 20;

} // namespace

std::size_t ReportLayout::Bytes(ReportType type, std::uint8_t id) const {
    const auto t = static_cast<std::size_t>(type);
    if (!declared[t][id])
        return 0;
    return static_cast<std::size_t>((bits[t][id] + 7) / 8) + (usesIds ? 1 : 0);
}

std::size_t ReportLayout::Longest(ReportType type) const {
    std::size_t longest = 0;
    for (std::size_t id = 0; id < 256; ++id)
        longest = std::max(longest, Bytes(type, static_cast<std::uint8_t>(id)));
    return longest;
}

ReportLayout DescribeReports(const std::uint8_t* d, std::size_t length) {
    ReportLayout layout;
    Globals g;
    std::vector<Globals> stack;
    std::uint32_t usage = 0;
    bool haveUsage = false, topSeen = false;
    unsigned depth = 0;
    std::size_t at = 0;
    while (at < length) {
        const std::uint8_t prefix = d[at];
        if (prefix == LongItem) {
            if (length - at < 3)
                return layout;
            const std::size_t skip = 3 + static_cast<std::size_t>(d[at + 1]);
            if (length - at < skip)
                return layout;
            at += skip;
            continue;
        }
        const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (length - at - 1 < size)
            return layout;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value |= static_cast<std::uint32_t>(d[at + 1 + i]) << (8 * i);
        const unsigned type = (prefix >> 2) & 3;
        const unsigned tag = prefix >> 4;
        at += 1 + size;
        if (type == TypeGlobal) {
            switch (tag) {
            case GlobalUsagePage:
                g.usagePage = value;
                break;
            case GlobalReportSize:
                g.reportSize = value;
                break;
            case GlobalReportCount:
                g.reportCount = value;
                break;
            case GlobalReportId:
                g.reportId = static_cast<std::uint8_t>(value);
                layout.usesIds = true;
                break;
            case GlobalPush:
                if (stack.size() == MaxPushDepth)
                    return layout;
                stack.push_back(g);
                break;
            case GlobalPop:
                if (stack.empty())
                    return layout;
                g = stack.back();
                stack.pop_back();
                break;
            default:
                break;
            }
        } else if (type == TypeLocal && tag == LocalUsage && !haveUsage) {
            // A four-byte usage carries its own page in the high half.
            usage = size == 4 ? value : (g.usagePage << 16) | (value & 0xFFFF);
            haveUsage = true;
        } else if (type == TypeMain) {
            int report = -1;
            if (tag == MainInput)
                report = static_cast<int>(ReportType::Input);
            else if (tag == MainOutput)
                report = static_cast<int>(ReportType::Output);
            else if (tag == MainFeature)
                report = static_cast<int>(ReportType::Feature);
            if (report >= 0) {
                const std::uint64_t add = static_cast<std::uint64_t>(g.reportSize) * g.reportCount;
                std::uint64_t& b = layout.bits[report][g.reportId];
                b = std::min<std::uint64_t>(b + add, MaxReportBits);
                layout.declared[report][g.reportId] = true;
            } else if (tag == MainCollection) {
                if (depth++ == 0 && !topSeen) {
                    topSeen = true;
                    layout.usagePage = static_cast<std::uint16_t>(usage >> 16);
                    layout.usage = static_cast<std::uint16_t>(usage);
                }
            } else if (tag == MainEndCollection && depth > 0) {
                --depth;
            }
            // Local items last until the next main item.
            haveUsage = false;
        }
    }
    layout.ok = true;
    return layout;
}

std::size_t LargestInputReport(const std::uint8_t* d, std::size_t length, std::size_t cap) {
    const ReportLayout layout = DescribeReports(d, length);
    return layout.ok ? std::min(layout.Longest(ReportType::Input), cap) : 0;
}

std::vector<std::uint8_t> PendantReportDescriptor(std::size_t inputReportBytes) {
    const auto inputData = static_cast<std::uint8_t>(
        std::clamp<std::size_t>(inputReportBytes, 1, InputReportBytes) - 1);
    return {
        0x06, 0x00,
        0xFF,                // Usage Page (vendor 0xFF00)
        0x09, 0x01,          // Usage (1)
        0xA1, 0x01,          // Collection (Application)
        0x85, WheelReportId, //   Report ID (4)
        0x09, 0x02,          //   Usage (2)
        0x15, 0x00,          //   Logical Minimum (0)
        0x26, 0xFF,
        0x00,                                                       //   Logical Maximum (255)
        0x75, 0x08,                                                 //   Report Size (8)
        0x95, inputData,                                            //   Report Count
        0x81, 0x02,                                                 //   Input (Data, Var, Abs)
        0x85, DisplayReportId,                                      //   Report ID (6)
        0x09, 0x03,                                                 //   Usage (3)
        0x95, static_cast<std::uint8_t>(DisplayReportPayloadBytes), //   Report Count (7)
        0xB1, 0x02,                                                 //   Feature (Data, Var, Abs)
        0xC0,                                                       // End Collection
    };
}

} // namespace protocol
