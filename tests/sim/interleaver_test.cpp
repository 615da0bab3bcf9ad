// Putting the simulator's lines between the tool's.
#include <gtest/gtest.h>

#include <cstdio>

#include "sim/interleaver.h"

namespace {

TEST(Interleaver, StartsItsLinesOnALineOfTheirOwn) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        capture::ToolOutput tool;
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
