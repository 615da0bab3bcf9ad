// The advice after "access denied": printed by the hook the entry calls, on
// standard error, once, and only when a device node was refused.
#include <gtest/gtest.h>

#include "backends/linux/handles.h"
#include "usb/platform_advice.h"

namespace {

TEST(AccessAdvice, OneLineNamingTheNodeAndWhatGivesAccess) {
    const std::string advice = linux_backend::AccessAdvice("/dev/bus/usb/001/002");
    ASSERT_FALSE(advice.empty());
    EXPECT_EQ(advice.back(), '\n');
    EXPECT_EQ(advice.find('\n'), advice.size() - 1) << "more than one line: " << advice;
    EXPECT_NE(advice.find("/dev/bus/usb/001/002"), std::string::npos);
    EXPECT_NE(advice.find("udev rule"), std::string::npos);
    EXPECT_NE(advice.find("local seat"), std::string::npos);
    EXPECT_NE(advice.find("docs/linux.md"), std::string::npos);
}

TEST(AccessAdvice, OnStandardErrorOnceAndOnlyAfterARefusal) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    PrintPlatformAdvice();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "nothing was refused yet";

    linux_backend::RememberRefusedNode("/dev/bus/usb/003/007");
    testing::internal::CaptureStderr();
    PrintPlatformAdvice();
    PrintPlatformAdvice();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              linux_backend::AccessAdvice("/dev/bus/usb/003/007"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "standard output is the tool's";
}

} // namespace
