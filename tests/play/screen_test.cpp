// The interactive screen as text, at sizes a tmux test would not try. The
// layout at 80x24 is checked on a real terminal (interactive_test.sh).
#include <gtest/gtest.h>

#include "play/screen.h"
#include "protocol/display.h"

namespace {

play::Screen ExampleScreen() {
    play::Screen s;
    protocol::DisplayValues v;
    v.CoordSet1[0] = 1.5f;
    v.CoordSet1[1] = -2.25f;
    v.CoordSet2[1] = 13.0f;
    v.DisplayWord[3] = 12000;
    const auto frame = protocol::BuildFrame(v);
    s.frame.assign(frame.begin(), frame.end());
    s.problem = protocol::DecodeDisplayFrame(frame.data(), s.display);
    s.haveFrame = true;
    s.frames = 4;
    s.axis = 2;
    s.message = "Wheel +1 on axis 2.";
    return s;
}

void ExpectFits(const play::Rendered& r, int width, int height) {
    ASSERT_EQ(r.lines.size(), static_cast<std::size_t>(height));
    for (const std::string& line : r.lines)
        EXPECT_LE(line.size(), static_cast<std::size_t>(width)) << line;
}

TEST(Screen, ThePaneShowsTheLatestOutputAndGrowsWithTheTerminal) {
    play::Screen s = ExampleScreen();
    for (int i = 1; i <= 30; ++i)
        s.AddOutput("Read from rk27: 4 0 0 12 " + std::to_string(i) + " 0 \n");
    s.AddOutput("open line");
    play::Rendered r = play::Render(s, 80, 24);
    EXPECT_EQ(r.lines[22], " open line");
    EXPECT_EQ(r.lines[21], " Read from rk27: 4 0 0 12 30 0 ");
    EXPECT_EQ(r.lines[14], " Read from rk27: 4 0 0 12 23 0 ");

    r = play::Render(s, 100, 30);
    ExpectFits(r, 100, 30);
    EXPECT_EQ(r.lines[14], " Read from rk27: 4 0 0 12 17 0 ");
    EXPECT_EQ(r.lines[13], "-- tool output " + std::string(85, '-'));
}

TEST(Screen, ASmallTerminalGetsWhatFits) {
    const play::Screen s = ExampleScreen();
    ExpectFits(play::Render(s, 40, 10), 40, 10);
    ExpectFits(play::Render(s, 1, 1), 1, 1);
    ExpectFits(play::Render(s, 0, 0), 0, 0);
    const play::Rendered r = play::Render(s, 79, 24);
    EXPECT_EQ(r.lines[23], " The terminal is 79x24; pendant-sim wants 80x24 or more.");
}

TEST(Screen, TheTypedLineCarriesTheCursor) {
    play::Screen s = ExampleScreen();
    s.editing = true;
    s.editLabel = "command: ";
    s.editText = "set1 1 2";
    const play::Rendered r = play::Render(s, 80, 24);
    EXPECT_EQ(r.cursorRow, 23);
    EXPECT_EQ(r.lines[23], " command: set1 1 2");
    EXPECT_EQ(r.cursorCol, 18);
}

TEST(Screen, OutputKeepsToPrintableCellsAndABoundedHistory) {
    play::Screen s;
    s.AddOutput(std::string("PipeID: \x82\x01.\n"));
    EXPECT_EQ(s.output.front(), "PipeID: ??.");
    for (int i = 0; i < 2000; ++i)
        s.AddOutput("line\n");
    EXPECT_EQ(s.output.size(), play::OutputLinesKept);
}

} // namespace
