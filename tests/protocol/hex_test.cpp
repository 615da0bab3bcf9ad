// The one hex formatter: how every program and test writes bytes.
#include <gtest/gtest.h>

#include <cstdint>

#include "protocol/hex.h"

namespace {

TEST(HexBytes, GroupsReportsWithBars) {
    const std::uint8_t bytes[] = {0x06, 0xFE, 0x00, 0x0A, 0x06};
    EXPECT_EQ(protocol::HexBytes(bytes), "06 FE 00 0A 06");
    EXPECT_EQ(protocol::HexBytes(bytes, 2), "06 FE | 00 0A | 06");
    EXPECT_EQ(protocol::HexBytes({bytes, 0}), "");
    // pendant-gadget's log lines.
    EXPECT_EQ(protocol::HexBytes(bytes, 0, protocol::HexCase::Lower), "06 fe 00 0a 06");
}

} // namespace
