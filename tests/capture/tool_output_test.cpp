// Catching the tool's standard output.
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "capture/tool_output.h"

namespace {

ino_t StdoutInode() {
    struct stat st {};
    fstat(STDOUT_FILENO, &st);
    return st.st_ino;
}

TEST(ToolOutput, HandsOverWhatWasPrintedSinceTheLastLook) {
    const ino_t before = StdoutInode();
    {
        capture::ToolOutput tool;
        ASSERT_EQ(tool.Problem(), "");
        std::printf("first %d", 1);
        EXPECT_EQ(tool.Take(), "first 1");
        EXPECT_EQ(tool.Take(), "");
        std::printf("second\n");
        std::puts("third");
        EXPECT_EQ(tool.Take(), "second\nthird\n");
    }
    EXPECT_EQ(StdoutInode(), before);
}

TEST(ToolOutput, ALotOfOutputBetweenTwoLooksDoesNotBlockTheTool) {
    capture::ToolOutput tool;
    const std::string line(99, 'x');
    for (int i = 0; i < 20000; ++i) // 2 MB, far beyond any pipe's buffer
        std::printf("%s\n", line.c_str());
    EXPECT_EQ(tool.Take().size(), 2000000U);
    std::printf("after");
    EXPECT_EQ(tool.Take(), "after");
}

} // namespace
