// The script language: what each command reads, and what it says about a
// line it cannot read.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <tuple>

#include "play/script.h"
#include "usb/winapi.h" // the error a failed call leaves by default

namespace {

using play::Op;
using play::Step;

Step Parsed(const std::string& line) {
    Step step;
    bool has = false;
    const std::string problem = play::ParseLine(line, 7, step, has);
    EXPECT_EQ(problem, "") << line;
    EXPECT_TRUE(has) << line;
    EXPECT_EQ(step.line, 7);
    return step;
}

struct Good {
    const char* line;
    Op op;
    std::function<void(const Step&)> check;
};

TEST(ScriptLine, ReadsEveryCommand) {
    using Bytes = std::vector<std::uint8_t>;
    const Good cases[] = {
        {"path \\\\?\\usb#vid_1234#x  # a comment", Op::Path,
         [](const Step& s) { EXPECT_EQ(s.text, "\\\\?\\usb#vid_1234#x"); }},
        {"pipes interrupt:0x81 bulk:2:64", Op::Pipes,
         [](const Step& s) {
             ASSERT_EQ(s.pipes.size(), 2U);
             EXPECT_EQ(s.pipes[0].type, play::PipeType::Interrupt);
             EXPECT_EQ(s.pipes[0].id, 0x81);
             EXPECT_EQ(s.pipes[0].maxPacket, 8);
             EXPECT_EQ(s.pipes[1].type, play::PipeType::Bulk);
             EXPECT_EQ(s.pipes[1].id, 2);
             EXPECT_EQ(s.pipes[1].maxPacket, 64);
         }},
        {"pipes none", Op::Pipes, [](const Step& s) { EXPECT_TRUE(s.pipes.empty()); }},
        {"fail CreateFileA 2 5", Op::Fail,
         [](const Step& s) {
             EXPECT_EQ(s.call, play::Call::CreateFileA);
             EXPECT_EQ(s.nth, 2U);
             EXPECT_EQ(s.error, 5U);
             EXPECT_FALSE(s.sticky);
         }},
        {"fail WinUsb_ReadPipe sticky", Op::Fail,
         [](const Step& s) {
             EXPECT_EQ(s.call, play::Call::WinUsb_ReadPipe);
             EXPECT_EQ(s.nth, 1U);
             EXPECT_EQ(s.error, static_cast<std::uint32_t>(ERROR_GEN_FAILURE));
             EXPECT_TRUE(s.sticky);
         }},
        {"set1 2 -2.25", Op::Set1,
         [](const Step& s) {
             EXPECT_EQ(s.index, 1);
             EXPECT_EQ(s.value, -2.25f);
         }},
        {"word 3 0xFFFF", Op::Word,
         [](const Step& s) {
             EXPECT_EQ(s.index, 3);
             EXPECT_EQ(s.word, 0xFFFF);
         }},
        {"display 1.5 -2.25 123.4567 0.0005 -0.0004 10 100 200 3000 12000", Op::Display,
         [](const Step& s) {
             EXPECT_EQ(s.display.CoordSet1[2], 123.4567f);
             EXPECT_EQ(s.display.CoordSet2[1], -0.0004f);
             EXPECT_EQ(s.display.DisplayWord[3], 12000);
         }},
        {"report 04 00 00 12 02 00", Op::Report,
         [](const Step& s) {
             EXPECT_EQ(s.bytes, (Bytes{4, 0, 0, 0x12, 2, 0}));
         }},
        {"jog 2 -1", Op::Jog,
         [](const Step& s) {
             EXPECT_EQ(s.bytes, (Bytes{4, 0, 0, 0x12, 0xFF, 0, 0, 0}));
         }},
        {"jog 0 5", Op::Jog,
         [](const Step& s) {
             EXPECT_EQ(s.bytes, (Bytes{4, 0, 0, 0, 5, 0, 0, 0}));
         }},
        {"timeout 3", Op::Timeout, [](const Step& s) { EXPECT_EQ(s.count, 3U); }},
        {"  unplug   # pull it out", Op::Unplug, [](const Step&) {}},
    };
    for (const Good& c : cases) {
        SCOPED_TRACE(c.line);
        const Step step = Parsed(c.line);
        EXPECT_EQ(step.op, c.op);
        c.check(step);
    }
}

TEST(ScriptLine, BlankAndCommentLinesHoldNoStep) {
    for (const char* line : {"", "   ", "# set1 1 1", "  \t# note", "\r"}) {
        Step step;
        bool has = true;
        EXPECT_EQ(play::ParseLine(line, 1, step, has), "") << line;
        EXPECT_FALSE(has) << line;
    }
}

TEST(ScriptLine, SaysWhatIsWrongAndHowToWriteIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"frob", "unknown command \"frob\""},
        {"set1 0 1", "axis \"0\" is not 1, 2 or 3; usage: set1 AXIS VALUE"},
        {"set1 1", "set1 takes 2 arguments, got 1; usage: set1 AXIS VALUE"},
        {"set2 1 abc", "\"abc\" is not a coordinate"},
        {"word 4 1", "word index \"4\" is not 0 to 3"},
        {"word 0 65536", "\"65536\" is not a display word (0 to 65535)"},
        {"display 1 2 3", "display takes 10 arguments, got 3"},
        {"report", "got 0 bytes, want 1 to 64"},
        {"report 04 0G", "\"0G\" is not a hex byte"},
        {"jog 4 1", "axis \"4\" is not 0 to 3"},
        {"jog 1 128", "count \"128\" is not -128 to 127"},
        {"timeout 0", "\"0\" is not a count from 1 to 1000000"},
        {"turns 1000001", "is not a count from 1 to 1000000"},
        {"device maybe", "say present or absent"},
        {"descriptor 12 01", "got 2 bytes, want 18"},
        {"pipes usb:1", "pipe type \"usb\" is not control, iso, bulk or interrupt"},
        {"pipes interrupt", "pipe \"interrupt\" is not TYPE:ID[:MAXPACKET[:INTERVAL]]"},
        {"fail", "fail takes a call name"},
        {"fail ReadPipe", "no platform call is named \"ReadPipe\""},
        {"fail WinUsb_ReadPipe 0", "\"0\" is not a call number"},
        {"unplug now", "unplug takes 0 arguments, got 1"},
        {"path", "path needs the device path"},
        {"report-size 0", "report size \"0\" is not 1 to 64"},
        {"report-size 65", "report size \"65\" is not 1 to 64"},
        {"zlp maybe", "zlp is \"maybe\"; say on or off"},
        {"report --raw", "got 0 bytes, want 1 to 64"},
    };
    for (const auto& [line, expected] : cases) {
        Step step;
        bool has = true;
        const std::string problem = play::ParseLine(line, 1, step, has);
        EXPECT_NE(problem.find(expected), std::string::npos) << line << " -> " << problem;
        EXPECT_FALSE(has) << line;
    }
    std::string report = "report";
    for (int i = 0; i < 65; ++i)
        report += " 00";
    Step step;
    bool has = true;
    EXPECT_NE(play::ParseLine(report, 1, step, has).find("got 65 bytes"), std::string::npos);
}

TEST(Script, CountsEveryLineForTheErrorsLineNumber) {
    std::istringstream in("# the example\n\nset1 1 1.5\n  bogus 1\nset1 1 2\n");
    play::Script script;
    play::ScriptError error;
    EXPECT_FALSE(play::ParseScript(in, script, error));
    EXPECT_EQ(error.line, 4);
    EXPECT_EQ(error.message, "unknown command \"bogus\" (pendant-sim --commands lists them)");
}

TEST(Script, TheDeviceIsDescribedBeforeTheToolStarts) {
    std::istringstream good(
        "device absent\nfail CreateFileA\npipes none\njog 1 1\nfail WinUsb_ReadPipe\n");
    play::Script script;
    play::ScriptError error;
    ASSERT_TRUE(play::ParseScript(good, script, error)) << error.message;
    ASSERT_EQ(script.steps.size(), 5U);
    EXPECT_EQ(script.steps[3].line, 4);

    std::istringstream late("device absent\n# start\njog 1 1\nturns 1\npipes none\n");
    EXPECT_FALSE(play::ParseScript(late, script, error));
    EXPECT_EQ(error.line, 5);
    EXPECT_EQ(
        error.message,
        "\"pipes\" describes the device, so it must come before line 3, where the tool starts");
}

// pendant-gadget reads the same language: its own commands, and the shared
// ones, into the same steps.
TEST(ScriptLine, TheGadgetReadsItsCommands) {
    const Good cases[] = {
        {"wait-read", Op::WaitRead, [](const Step& s) { EXPECT_EQ(s.seconds, 10U); }},
        {"wait-read 3", Op::WaitRead, [](const Step& s) { EXPECT_EQ(s.seconds, 3U); }},
        {"wait-frames 4 20", Op::WaitFrames,
         [](const Step& s) {
             EXPECT_EQ(s.count, 4U);
             EXPECT_EQ(s.seconds, 20U);
         }},
        {"burst 100 7", Op::Burst,
         [](const Step& s) {
             EXPECT_EQ(s.count, 100U);
             EXPECT_EQ(s.seed, 7U);
         }},
        {"timed 5 0", Op::Timed, [](const Step& s) { EXPECT_EQ(s.seed, 0U); }},
        {"quiet on", Op::Quiet, [](const Step& s) { EXPECT_TRUE(s.on); }},
        {"quiet off", Op::Quiet, [](const Step& s) { EXPECT_FALSE(s.on); }},
        {"stall", Op::Stall, [](const Step&) {}},
        {"unstall", Op::Unstall, [](const Step&) {}},
        {"stats", Op::Stats, [](const Step&) {}},
        {"jog 3 -31", Op::Jog,
         [](const Step& s) {
             EXPECT_EQ(s.bytes, (std::vector<std::uint8_t>{4, 0, 0, 0x13, 0xE1, 0, 0, 0}));
         }},
        {"replug", Op::Replug, [](const Step&) {}},
    };
    for (const Good& c : cases) {
        SCOPED_TRACE(c.line);
        Step step;
        bool has = false;
        ASSERT_EQ(play::ParseLine(c.line, 2, step, has, play::Dialect::Gadget), "");
        ASSERT_TRUE(has);
        EXPECT_EQ(step.op, c.op);
        c.check(step);
    }
}

// Each program refuses what makes no sense for it, and says why; bad
// arguments of the gadget's commands are named as the others' are.
TEST(ScriptLine, EachProgramRefusesWhatIsNotForIt) {
    using play::Dialect;
    const std::tuple<Dialect, const char*, const char*> cases[] = {
        {Dialect::Gadget, "fail CreateFileA",
         "\"fail\" is not for pendant-gadget: it breaks the tool's platform calls"},
        {Dialect::Gadget, "set1 1 1.5", "\"set1\" is not for pendant-gadget: it goes through"},
        {Dialect::Gadget, "display 1 2 3 4 5 6 7 8 9 10", "\"display\" is not for pendant-gadget"},
        {Dialect::Gadget, "word 0 1", "\"word\" is not for pendant-gadget"},
        {Dialect::Gadget, "timeout", "time out by themselves"},
        {Dialect::Gadget, "turns 1", "wait-read and wait-frames wait for it"},
        {Dialect::Gadget, "pipes none", "come from its options (--vid, --pid, --packet-size"},
        {Dialect::Gadget, "device absent", "\"device\" is not for pendant-gadget"},
        {Dialect::Gadget, "frob",
         "unknown command \"frob\" (pendant-gadget --commands lists them)"},
        {Dialect::Sim, "wait-read", "\"wait-read\" is not for pendant-sim: it is a pendant-gadget"},
        {Dialect::Sim, "stall", "\"stall\" is not for pendant-sim"},
        {Dialect::Sim, "burst 1 1", "\"burst\" is not for pendant-sim"},
        {Dialect::Gadget, "wait-read 0", "\"0\" is not a number of seconds from 1 to 3600"},
        {Dialect::Gadget, "wait-read 1 2", "wait-read takes at most a number of seconds"},
        {Dialect::Gadget, "wait-frames", "wait-frames takes a number of frames"},
        {Dialect::Gadget, "wait-frames 0", "\"0\" is not a count from 1 to 1000000"},
        {Dialect::Gadget, "burst 5 x", "seed \"x\" is not 0 to 4294967295"},
        {Dialect::Gadget, "quiet maybe", "say on or off; usage: quiet on|off"},
        {Dialect::Gadget, "stall now", "stall takes 0 arguments, got 1"},
    };
    for (const auto& [dialect, line, expected] : cases) {
        Step step;
        bool has = true;
        const std::string problem = play::ParseLine(line, 1, step, has, dialect);
        EXPECT_NE(problem.find(expected), std::string::npos) << line << " -> " << problem;
        EXPECT_FALSE(has) << line;
    }
}

} // namespace

// A report must be of the pendant's report size, as HID hosts drop others:
// the script stops at the line that is not, unless it is sent --raw; and
// report-size changes the size the lines after it are held to.
TEST(ScriptFile, ReportsAreHeldToTheReportSize) {
    const struct {
        const char* script;
        std::size_t reportBytes;
        int badLine; // 0: the script reads
        const char* says = "";
    } cases[] = {
        {"report 04 00 00 11 01 00 00 00\n", 8, 0},
        {"turns 1\nreport 04 00 00 11 01 00\n", 8, 2,
         "report of 6 bytes, but the pendant's input report is 8"},
        {"report --raw 04 00 00 11 01 00\n", 8, 0},
        {"report-size 6\nreport 04 00 00 11 01 00\n", 8, 0},
        {"report-size 6\nreport 04 00 00 11 01 00 00 00\n", 8, 2,
         "report of 8 bytes, but the pendant's input report is 6"},
        {"report 04 00 00 11 01 00\n", 6, 0},
        {"report 04 00 00 11 01 00\n", 0, 0}, // a pendant that declares no size
    };
    for (const auto& c : cases) {
        std::istringstream in(c.script);
        play::Script script;
        play::ScriptError error;
        const bool read = play::ParseScript(in, script, error, play::Dialect::Sim, c.reportBytes);
        EXPECT_EQ(read, c.badLine == 0) << c.script;
        if (c.badLine != 0) {
            EXPECT_EQ(error.line, c.badLine) << c.script;
            EXPECT_NE(error.message.find(c.says), std::string::npos) << error.message;
            EXPECT_NE(error.message.find("report --raw"), std::string::npos) << error.message;
        }
    }
}
