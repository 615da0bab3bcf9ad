#include "backends/linux/access_advice.h"

#include <gtest/gtest.h>

#include <istream>
#include <sstream>

namespace {

TEST(AccessAdvice, OneLineNamingTheNodeAndTheRule) {
    const std::string advice = linux_backend::AccessAdvice("/dev/bus/usb/001/002");
    ASSERT_FALSE(advice.empty());
    EXPECT_EQ(advice.back(), '\n');
    EXPECT_EQ(advice.find('\n'), advice.size() - 1) << "more than one line: " << advice;
    EXPECT_NE(advice.find("/dev/bus/usb/001/002"), std::string::npos);
    EXPECT_NE(advice.find("udev rule"), std::string::npos);
}

TEST(AccessAdvice, PrintedOnceBeforeTheFirstReadAndInputPassesThrough) {
    std::istringstream source("  first second\nthird");
    auto buffer = linux_backend::MakeAdvisingBuffer(source.rdbuf(), "ADVICE\n");
    std::istream in(buffer.get());

    testing::internal::CaptureStdout();
    std::string nothingYet = testing::internal::GetCapturedStdout();
    EXPECT_EQ(nothingYet, "") << "advice before anything was read";

    testing::internal::CaptureStdout();
    char word[64];
    in >> word;
    std::string rest;
    std::getline(in, rest);
    std::string last;
    in >> last;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ADVICE\n");
    EXPECT_STREQ(word, "first");
    EXPECT_EQ(rest, " second");
    EXPECT_EQ(last, "third");
    in >> last;
    EXPECT_TRUE(in.eof());
}

} // namespace
