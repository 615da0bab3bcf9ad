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
    LongItem = 0xFE,
    MainInput = 0x8,
    GlobalReportSize = 0x7,
    GlobalReportId = 0x8,
    GlobalReportCount = 0x9,
    GlobalPush = 0xA,
    GlobalPop = 0xB,
};

struct Globals {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
};

// Deep enough for any real descriptor; deeper is treated as malformed.
constexpr std::size_t MaxPushDepth = 16;

} // namespace

std::size_t LargestInputReport(const std::uint8_t* d, std::size_t length, std::size_t cap) {
    std::array<std::uint64_t, 256> bits{};
    std::array<bool, 256> declared{};
    bool usesIds = false;
    Globals g;
    std::vector<Globals> stack;
    std::size_t at = 0;
    while (at < length) {
        const std::uint8_t prefix = d[at];
        if (prefix == LongItem) {
            if (length - at < 3)
                return 0;
            const std::size_t skip = 3 + static_cast<std::size_t>(d[at + 1]);
            if (length - at < skip)
                return 0;
            at += skip;
            continue;
        }
        const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (length - at - 1 < size)
            return 0;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value |= static_cast<std::uint32_t>(d[at + 1 + i]) << (8 * i);
        const unsigned type = (prefix >> 2) & 3;
        const unsigned tag = prefix >> 4;
        at += 1 + size;
        if (type == TypeGlobal) {
            switch (tag) {
            case GlobalReportSize:
                g.reportSize = value;
                break;
            case GlobalReportCount:
                g.reportCount = value;
                break;
            case GlobalReportId:
                g.reportId = static_cast<std::uint8_t>(value);
                usesIds = true;
                break;
            case GlobalPush:
                if (stack.size() == MaxPushDepth)
                    return 0;
                stack.push_back(g);
                break;
            case GlobalPop:
                if (stack.empty())
                    return 0;
                g = stack.back();
                stack.pop_back();
                break;
            default:
                break;
            }
        } else if (type == TypeMain && tag == MainInput) {
            // Saturating: a report larger than the cap is the cap anyway.
            const std::uint64_t add = static_cast<std::uint64_t>(g.reportSize) * g.reportCount;
            bits[g.reportId] = std::min<std::uint64_t>(bits[g.reportId] + add, 1u << 20);
            declared[g.reportId] = true;
        }
    }
    std::size_t largest = 0;
    for (std::size_t id = 0; id < bits.size(); ++id) {
        if (!declared[id])
            continue;
        const std::size_t bytes = static_cast<std::size_t>((bits[id] + 7) / 8) + (usesIds ? 1 : 0);
        largest = std::max(largest, bytes);
    }
    return std::min(largest, cap);
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
