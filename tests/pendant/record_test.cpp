// The record's construction and its ten setters.
#include <gtest/gtest.h>

#include "pendant/pendant_device.h"

TEST(PendantRecord, StartsCleanWithNothingRecorded) {
    PendantDevice device;
    EXPECT_FALSE(device.DisplayDirty);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(device.CoordSet1[k], 0.0f);
        EXPECT_EQ(device.CoordSet2[k], 0.0f);
    }
    for (int j = 0; j < 4; ++j)
        EXPECT_EQ(device.DisplayWord[j], 0);
    EXPECT_EQ(device.ReadPipeId, 0);
    EXPECT_EQ(device.WritePipeId, 0);
    EXPECT_EQ(device.PipeInterruptFirst, 0);
    EXPECT_EQ(device.PipeInterruptLast, 0);
    EXPECT_FALSE(device.UsbOpen);
}

TEST(PendantRecord, EverySetterStoresItsFieldAndMarksTheDisplayDirty) {
    using CoordSetter = void (PendantDevice::*)(float);
    const struct {
        CoordSetter set;
        int index;
        bool second;
    } coords[] = {
        {&PendantDevice::SetCoordSet1Axis1, 0, false},
        {&PendantDevice::SetCoordSet1Axis2, 1, false},
        {&PendantDevice::SetCoordSet1Axis3, 2, false},
        {&PendantDevice::SetCoordSet2Axis1, 0, true},
        {&PendantDevice::SetCoordSet2Axis2, 1, true},
        {&PendantDevice::SetCoordSet2Axis3, 2, true},
    };
    for (const auto& c : coords) {
        PendantDevice device;
        // No range check: a value the display cannot show is stored as is.
        (device.*c.set)(1e9f);
        const float* field = c.second ? device.CoordSet2 : device.CoordSet1;
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(field[k], k == c.index ? 1e9f : 0.0f);
            EXPECT_EQ((c.second ? device.CoordSet1 : device.CoordSet2)[k], 0.0f);
        }
        EXPECT_TRUE(device.DisplayDirty);
        // The same value again still marks the display dirty.
        device.DisplayDirty = false;
        (device.*c.set)(1e9f);
        EXPECT_TRUE(device.DisplayDirty);
    }

    using WordSetter = void (PendantDevice::*)(std::uint16_t);
    const WordSetter words[] = {&PendantDevice::SetDisplayWord0, &PendantDevice::SetDisplayWord1,
                                &PendantDevice::SetDisplayWord2, &PendantDevice::SetDisplayWord3};
    for (int j = 0; j < 4; ++j) {
        PendantDevice device;
        (device.*words[j])(0xBEEF);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(device.DisplayWord[i], i == j ? 0xBEEF : 0);
        EXPECT_TRUE(device.DisplayDirty);
        device.DisplayDirty = false;
        (device.*words[j])(0xBEEF);
        EXPECT_TRUE(device.DisplayDirty);
    }
}

TEST(PendantRecord, SetDisplaySetsAllTenValuesAndMarksTheDisplayDirty) {
    const protocol::DisplayValues v = {{1, -2, 3}, {-4, 5, -6}, {7, 8, 9, 10}};
    PendantDevice device;
    device.SetDisplay(v);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(device.CoordSet1[k], v.CoordSet1[k]);
        EXPECT_EQ(device.CoordSet2[k], v.CoordSet2[k]);
    }
    for (int j = 0; j < 4; ++j)
        EXPECT_EQ(device.DisplayWord[j], v.DisplayWord[j]);
    EXPECT_TRUE(device.DisplayDirty);
    // As each setter: the same values again still mark it dirty.
    device.DisplayDirty = false;
    device.SetDisplay(v);
    EXPECT_TRUE(device.DisplayDirty);
}
