// Scripts played against the virtual pendant: the tool's output and every
// frame the pendant receives, in the order they happened.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "sim/script_runner.h"

namespace {

namespace vp = virtual_pendant;

struct Played {
    int status = -1;
    std::string out;
};

Played Play(const std::string& text) {
    std::istringstream in(text);
    play::Script script;
    play::ScriptError error;
    EXPECT_TRUE(play::ParseScript(in, script, error)) << error.line << ": " << error.message;
    Played played;
    std::FILE* file = std::tmpfile();
    EXPECT_NE(file, nullptr);
    {
        capture::ToolOutput tool;
        EXPECT_EQ(tool.Problem(), "");
        sim::Interleaver out(tool, fileno(file));
        played.status = sim::RunScript(script, out);
    }
    std::rewind(file);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        played.out.append(buffer, n);
    std::fclose(file);
    vp::Reset();
    return played;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

bool Has(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

TEST(RunScript, ReproducesTheExampleFrame) {
    const Played p = Play("set1 1 1.5\nset1 2 -2.25\nset1 3 123.4567\n"
                          "set2 1 0.0005\nset2 2 -0.0004\nset2 3 10.0\n"
                          "word 0 100\nword 1 200\nword 2 3000\nword 3 12000\nturns 1\n");
    EXPECT_EQ(p.status, 0);
    // The survey leaves its last line open; the frame still starts a line.
    EXPECT_TRUE(Has(p.out, "Endpoint query complete.\n[frame 1] 06 FE FD 0F 01 00 88 13 | "
                           "06 02 00 C4 89 7B 00 DA | 06 11 00 00 0A 00 00 00 | "
                           "06 00 00 0A 00 00 00 64 | 06 00 C8 00 B8 0B E0 2E | "
                           "06 08 02 00 00 00 00 00\n"
                           "[frame 1] set1 1.5000 -2.2500 123.4570 | set2 0.0010 0.0000 10.0000 | "
                           "words 100 200 3000 12000\n"))
        << p.out;
    EXPECT_TRUE(Has(p.out, "[sim] tool returned 0 after 1 turn, 1 frame\n")) << p.out;
}

TEST(RunScript, TheWheelMovesTheDisplayTurnByTurn) {
    const Played p = Play("jog 2 5\njog 2 -2\nreport 04 00 00 13 1F 00 00 00\ntimeout\nturns 6\n");
    EXPECT_EQ(Count(p.out, "Read from rk27:"), 3U) << p.out;
    EXPECT_TRUE(Has(p.out, "Read from rk27: 4 0 0 12 fe 0 \n")) << p.out;
    EXPECT_TRUE(Has(p.out, "[frame 1] set1 0.0000 0.0000 0.0000 | set2 0.0000 5.0000 0.0000"))
        << p.out;
    EXPECT_TRUE(Has(p.out, "[frame 2] set1 0.0000 0.0000 0.0000 | set2 0.0000 3.0000 0.0000"))
        << p.out;
    EXPECT_TRUE(Has(p.out, "[frame 3] set1 0.0000 0.0000 0.0000 | set2 0.0000 3.0000 31.0000"))
        << p.out;
    // Nothing changed after the third report: no more frames, no extra turns.
    EXPECT_TRUE(Has(p.out, "[sim] tool returned 0 after 6 turns, 3 frames\n")) << p.out;
}

TEST(RunScript, AtTheEndTheToolTakesWhatIsQueuedAndShowsIt) {
    const Played p = Play("jog 1 1\njog 1 1\n");
    EXPECT_TRUE(Has(p.out, "[frame 2] set1 0.0000 0.0000 0.0000 | set2 2.0000 0.0000 0.0000"))
        << p.out;
    EXPECT_TRUE(Has(p.out, "[sim] tool returned 0 after 3 turns, 2 frames\n")) << p.out;
}

TEST(RunScript, OpeningFailuresGiveTheToolsMessages) {
    struct Case {
        std::string script;
        std::string said;
    };
    const Case cases[] = {
        {"device absent\nset1 1 1\nturns 2\n", "Device not connected or driver not installed\n"},
        {"fail CreateFileA 1 5\n", "Failed looking for device, HRESULT 0x80070005\n"},
        {"path " + std::string(300, 'p') + "\n", "Failed looking for device, HRESULT 0x8007007a\n"},
    };
    for (const Case& c : cases) {
        const Played p = Play(c.script);
        EXPECT_EQ(p.status, 0);
        EXPECT_EQ(
            p.out.rfind(c.said + "nothing to do...\n[sim] tool returned 0 after 0 turns, 0 frames",
                        0),
            0U)
            << p.out;
    }
    EXPECT_TRUE(Has(Play("device absent\nset1 1 1\nturns 2\n").out,
                    "; 2 steps not run (the tool did not open the pendant)\n"));
}

TEST(RunScript, PipesShapeTheSurveyAndTheReadPipe) {
    const Played p = Play("pipes bulk:0x82:64 interrupt:0x81\njog 3 4\n");
    EXPECT_TRUE(Has(p.out, "#Endpoints Found   : 2")) << p.out;
    EXPECT_TRUE(Has(p.out, "Type: Bulk-In")) << p.out;
    EXPECT_TRUE(Has(p.out, "MaxPacket: 64")) << p.out;
    EXPECT_TRUE(Has(p.out, "set2 0.0000 0.0000 4.0000")) << p.out;
}

TEST(RunScript, UnpluggedTheToolLosesThePendantAndTheScriptStillEnds) {
    const Played p =
        Play("set1 1 1\nturns 1\nunplug\nset1 1 2\njog 1 1\nturns 3\nreplug\nturns 1\n");
    EXPECT_TRUE(Has(p.out, "[sim] line 3: unplugged\n")) << p.out;
    EXPECT_TRUE(Has(p.out, "[sim] line 7: replugged\n")) << p.out;
    EXPECT_EQ(Count(p.out, "[frame "), 2U) << p.out; // bytes and values of frame 1 only
    EXPECT_EQ(Count(p.out, "Read from rk27:"), 0U) << p.out;
    EXPECT_TRUE(Has(p.out, "[sim] tool returned 0 after")) << p.out;
}

TEST(RunScript, AFailCountsFromWhereItStands) {
    // The second frame loses its first report; the pendant drops the rest.
    const Played p = Play("set1 1 1\nturns 1\nfail WinUsb_ControlTransfer 1\nset1 1 2\nturns 1\n"
                          "set1 1 3\nturns 1\n");
    EXPECT_TRUE(Has(p.out, "[frame 1] set1 1.0000 ")) << p.out;
    EXPECT_TRUE(Has(p.out, "[frame 2] set1 3.0000 ")) << p.out;
    EXPECT_FALSE(Has(p.out, "set1 2.0000")) << p.out;
}

} // namespace

// A pendant of 14-byte reports on 8-byte packets: the descriptor says 14,
// the tool reads 14, and each report gives one trace line and its count once,
// with the zero-length packets of either rule.
TEST(RunScript, ALongerReportSizeIsReadWholeReportByReport) {
    for (const char* zlp : {"", "zlp on\n", "zlp off\n"}) {
        const Played p =
            Play(std::string("report-size 14\n") + zlp + "jog 2 5\njog 2 -2\njog 3 1\nturns 8\n");
        EXPECT_EQ(p.status, 0) << zlp;
        EXPECT_EQ(Count(p.out, "Read from rk27:"), 3U) << zlp << p.out;
        EXPECT_TRUE(Has(p.out, "set2 0.0000 3.0000 1.0000")) << zlp << p.out;
    }
}
