#include "backends/linux/interface_guid.h"

#include <gtest/gtest.h>

namespace {

using linux_backend::FormatGuid;
using linux_backend::ParseGuid;
using linux_backend::PropertyListsGuid;

const GUID Pendant = {0x136917CC, 0x8699, 0x43EC, {0xB5, 0xA9, 0x89, 0x26, 0xD7, 0x16, 0x5D, 0xE7}};

TEST(InterfaceGuid, ParsesEveryFieldInItsByteOrder) {
    const auto g = ParseGuid("{136917CC-8699-43EC-B5A9-8926D7165DE7}");
    ASSERT_TRUE(g.has_value());
    EXPECT_EQ(g->Data1, 0x136917CCu);
    EXPECT_EQ(g->Data2, 0x8699u);
    EXPECT_EQ(g->Data3, 0x43ECu);
    const std::uint8_t data4[8] = {0xB5, 0xA9, 0x89, 0x26, 0xD7, 0x16, 0x5D, 0xE7};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(g->Data4[i], data4[i]) << i;
}

TEST(InterfaceGuid, AcceptsCaseAndMissingBraces) {
    for (const char* text :
         {"{136917cc-8699-43ec-b5a9-8926d7165de7}", "136917CC-8699-43EC-B5A9-8926D7165DE7",
          "136917cc-8699-43EC-b5a9-8926D7165de7"}) {
        const auto g = ParseGuid(text);
        ASSERT_TRUE(g.has_value()) << text;
        EXPECT_TRUE(*g == Pendant) << text;
    }
}

TEST(InterfaceGuid, RejectsMalformedText) {
    for (const char* text :
         {"", "{}", "{136917CC-8699-43EC-B5A9-8926D7165DE7",
          "136917CC-8699-43EC-B5A9-8926D7165DE7}", "{136917CC-8699-43EC-B5A98926D7165DE7-}",
          "{136917CG-8699-43EC-B5A9-8926D7165DE7}", "{136917CC-8699-43EC-B5A9-8926D7165DE}",
          "{136917CC-8699-43EC-B5A9-8926D7165DE77}", "(136917CC-8699-43EC-B5A9-8926D7165DE7)",
          "{136917CC 8699 43EC B5A9 8926D7165DE7}"})
        EXPECT_FALSE(ParseGuid(text).has_value()) << text;
}

TEST(InterfaceGuid, FormatsAsTheRegistrySpellsIt) {
    EXPECT_EQ(FormatGuid(Pendant), "{136917CC-8699-43EC-B5A9-8926D7165DE7}");
    const GUID small = {0x1, 0x2, 0x3, {0, 1, 2, 3, 4, 5, 6, 7}};
    EXPECT_EQ(FormatGuid(small), "{00000001-0002-0003-0001-020304050607}");
    EXPECT_TRUE(*ParseGuid(FormatGuid(small)) == small);
}

TEST(InterfaceGuid, PropertyValueLists) {
    struct Case {
        const char* value;
        bool listed;
    };
    const Case cases[] = {
        {"{136917CC-8699-43EC-B5A9-8926D7165DE7}", true},
        {"{00000001-0002-0003-0001-020304050607};{136917cc-8699-43ec-b5a9-8926d7165de7}", true},
        {"  {00000001-0002-0003-0001-020304050607} , 136917CC-8699-43EC-B5A9-8926D7165DE7 ", true},
        {"junk,{136917CC-8699-43EC-B5A9-8926D7165DE7}", true},
        {"", false},
        {";;, ", false},
        {"{00000001-0002-0003-0001-020304050607}", false},
        // One digit off in the last byte.
        {"{136917CC-8699-43EC-B5A9-8926D7165DE6}", false},
        // Two GUIDs run together are not either of them.
        {"{136917CC-8699-43EC-B5A9-8926D7165DE7}{00000001-0002-0003-0001-020304050607}", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PropertyListsGuid(c.value, Pendant), c.listed) << '"' << c.value << '"';
}

} // namespace
