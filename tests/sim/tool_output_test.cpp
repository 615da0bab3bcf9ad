// Catching the tool's standard output, and putting the simulator's lines
// between the tool's.
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/tool_output.h"

namespace {

ino_t StdoutInode() {
    struct stat st {};
    fstat(STDOUT_FILENO, &st);
    return st.st_ino;
}

TEST(ToolOutput, HandsOverWhatWasPrintedSinceTheLastLook) {
    const ino_t before = StdoutInode();
    {
        sim::ToolOutput tool;
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
    sim::ToolOutput tool;
    const std::string line(99, 'x');
    for (int i = 0; i < 20000; ++i) // 2 MB, far beyond any pipe's buffer
        std::printf("%s\n", line.c_str());
    EXPECT_EQ(tool.Take().size(), 2000000U);
    std::printf("after");
    EXPECT_EQ(tool.Take(), "after");
}

TEST(Interleaver, StartsItsLinesOnALineOfTheirOwn) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        sim::ToolOutput tool;
        sim::Interleaver out(tool, fileno(file));
        std::printf("open");
        out.Line("[a]");
        std::printf("closed\n");
        out.Line("[b]");
        out.Line("[c]");
        std::printf("tail");
        out.Pass();
    }
    std::rewind(file);
    char buffer[256] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    EXPECT_EQ(std::string(buffer, n), "open\n[a]\nclosed\n[b]\n[c]\ntail");
}

} // namespace
