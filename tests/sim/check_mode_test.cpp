// pendant-sim --check as a person runs it: the program itself, its exit
// status, what it prints, and its record read back by a JSON parser of its
// own. One case per fault it can catch.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t Occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

struct Ran {
    int status = -1;
    std::string out, err;
};

// Runs pendant-sim with args (FILE in them is the case's script, REPORT its
// record), bounded in time so that a hang fails rather than stalls.
// Its files are named after the test, since CTest runs tests side by side.
std::string Scratch(const std::string& what) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    for (char& c : name)
        if (c == '/')
            c = '.';
    return testing::TempDir() + "/pendant-sim-" + name + what;
}

Ran RunSim(const std::string& args) {
    const std::string out = Scratch(".out"), err = Scratch(".err");
    const std::string command = "timeout 60 '" PENDANT_SIM_PROGRAM "' " + args + " >'" + out +
                                "' 2>'" + err + "' </dev/null";
    const int raw = std::system(command.c_str());
    Ran ran;
    ran.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    ran.out = ReadFile(out);
    ran.err = ReadFile(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return ran;
}

// The results of the record's five steps, one letter each: P, F, S.
std::string Results(const nlohmann::json& record) {
    std::string letters;
    for (const auto& step : record.at("steps"))
        letters += step.at("result").get<std::string>().front();
    return letters;
}

struct Case {
    const char* name;
    const char* args;   // FILE: the script below; REPORT: the record
    const char* script; // nullptr: none
    int status;
    const char* results;  // in the record; nullptr: no record is written
    const char* said;     // a whole line of standard output, or of standard error for status 2
    bool refused = false; // refused before the check starts: nothing on standard output
};

// The selector and the wheel played without a person (--no-person), after
// the lines that make the pendant break one rule hosts hold it to.
#define NO_PERSON_ROUND                                                                            \
    "await axis-off\njog 0 0\nawait axis-1\njog 1 0\nawait axis-2\njog 2 0\nawait axis-3\njog 3 "  \
    "0\nawait wheel-forward\njog 3 12\nawait wheel-backward\njog 3 -12\n"
#define BROKEN_RULE(name, setup, rule)                                                             \
    {                                                                                              \
        name, "--check FILE --no-person --report REPORT", setup "\n" NO_PERSON_ROUND, 1, "PSPPSF", \
            "Verdict: FAIL (USB and HID rules [" rule "])"                                         \
    }

const Case Cases[] = {
    // A good pendant: every step passes, the verdict too.
    {"Demo", "--check --demo --report REPORT", nullptr, 0, "PPPPPP",
     "Verdict: PASS (6 passed, 0 skipped)"},
    // Its two faults fail their two steps, and only those.
    {"DemoFaulty", "--check --demo-faulty --report REPORT", nullptr, 1, "PFPFPP",
     "Verdict: FAIL (Display, Wheel)"},
    // The check's --no-person skips the person's steps; the person's script
    // follows it past their prompts and the rest still passes.
    {"DemoNoPerson", "--check --demo --no-person --report REPORT", nullptr, 0, "PSPPSP",
     "Verdict: PASS (4 passed, 2 skipped)"},
    // A scripted pendant for each rule hosts hold it to that the virtual
    // pendant can break: the rule fails, named in the verdict.
    BROKEN_RULE("ControlPacketSize",
                "descriptor 12 01 00 02 00 00 00 07 f0 ff 01 00 00 01 00 00 00 01",
                "Device descriptor"),
    BROKEN_RULE("HidDescriptorLength", "hid-length 40", "HID descriptor"),
    BROKEN_RULE("CollectionLeftOpen",
                "report-descriptor 06 00 FF 09 01 A1 01 85 04 09 02 15 00 26 FF 00 75 08 95 07 81 "
                "02 85 06 09 03 95 07 B1 02",
                "Report descriptor"),
    BROKEN_RULE("FeatureReportLength",
                "report-descriptor 06 00 FF 09 01 A1 01 85 04 09 02 15 00 26 FF 00 75 08 95 07 81 "
                "02 85 06 09 03 95 08 B1 02 C0",
                "Pendant reports"),
    BROKEN_RULE("HighSpeedInterval", "speed high\npipes interrupt:0x81:8:20",
                "Interrupt IN endpoint"),
    BROKEN_RULE("SetIdleUnanswered", "unanswered set-idle", "Class requests"),
    {"ShortReports", "--check FILE --no-person --report REPORT",
     "await axis-off\nreport --raw 04 00 00 00 00 00\nawait axis-1\nreport --raw 04 00 00 11 00 "
     "00\nawait axis-2\nreport --raw 04 00 00 12 00 00\nawait axis-3\nreport --raw 04 00 00 13 "
     "00 00\nawait wheel-forward\nreport --raw 04 00 00 13 0c 00\nawait wheel-backward\nreport "
     "--raw 04 00 00 13 f4 00\n",
     1, "PSPPSF", "Verdict: FAIL (USB and HID rules [Reports as sent])"},
    // The wheel is never turned, so the check never asks whether the
    // display followed it: the await is a script error, not a hang.
    {"AwaitNeverComes", "--check FILE --step-timeout 1",
     "await pattern-1\nanswer y\nawait pattern-2\nanswer y\n\nawait wheel-display\nanswer y\n", 2,
     nullptr,
     "pendant-sim: FILE:6: the check ended without asking for wheel-display (the last it asked "
     "for: unplug)"},
    // A word no person types is refused before the check starts.
    {"BadAnswer", "--check FILE", "await pattern-1\nanswer maybe\n", 2, nullptr,
     "pendant-sim: FILE:2: answer is \"maybe\"; say y, n or enter; usage: answer y|n|enter", true},
    // So is a prompt the check does not have.
    {"NoSuchPrompt", "--check FILE", "# the selector has three axes\nawait axis-4\n", 2, nullptr,
     "pendant-sim: FILE:2: the check has no prompt \"axis-4\" (it has pattern-1, pattern-2, "
     "axis-off, axis-1, axis-2, axis-3, wheel-forward, wheel-backward, wheel-display, unplug, "
     "plug-in); usage: await PROMPT",
     true},
    // Without the check nothing would take the answer.
    {"AnswerWithoutCheck", "--script FILE", "jog 1 1\nanswer y\n", 2, nullptr,
     "pendant-sim: FILE:2: \"answer\" is for pendant-sim --check: without the check nothing "
     "asks for a person",
     true},
};

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

class CheckMode : public testing::TestWithParam<Case> {};

TEST_P(CheckMode, ExitsSaysAndRecordsWhatTheCheckFound) {
    const Case& c = GetParam();
    const std::string script = Scratch(".sim");
    const std::string report = Scratch(".json");
    std::remove(report.c_str());
    if (c.script != nullptr)
        std::ofstream(script) << c.script;
    const Ran ran = RunSim(Replaced(Replaced(c.args, "FILE", script), "REPORT", report));
    const std::string all = "--- stdout\n" + ran.out + "--- stderr\n" + ran.err;
    EXPECT_EQ(ran.status, c.status) << all;
    const std::string said = Replaced(c.said, "FILE", script);
    const std::string& where = c.status == 2 ? ran.err : ran.out;
    EXPECT_NE(("\n" + where).find("\n" + said + "\n"), std::string::npos)
        << "no line \"" << said << "\"\n"
        << all;
    if (c.refused) {
        EXPECT_EQ(ran.out, "") << "a script refused before it runs ran anyway";
    }
    if (c.results == nullptr)
        return;
    std::ifstream file(report);
    ASSERT_TRUE(file.good()) << "no record written\n" << all;
    const nlohmann::json record = nlohmann::json::parse(file); // throws on a malformed record
    EXPECT_EQ(Results(record), c.results) << all;
    EXPECT_EQ(record.at("exitStatus"), c.status);
    EXPECT_EQ(record.at("verdict"), c.status == 0 ? "PASS" : "FAIL");
}

INSTANTIATE_TEST_SUITE_P(Cases, CheckMode, testing::ValuesIn(Cases),
                         [](const testing::TestParamInfo<Case>& c) {
                             return std::string(c.param.name);
                         });

// The demo's unplug step pulls the virtual pendant out and puts it back: the
// check sees it go, finds it again and surveys it anew.
TEST(CheckMode, TheDemoReallyUnplugsAndReplugs) {
    const Ran ran = RunSim("--check --demo");
    ASSERT_EQ(ran.status, 0) << ran.out << ran.err;
    const std::size_t unplugged = ran.out.find(": unplugged\n");
    const std::size_t gone = ran.out.find("  -> gone. Plug it in again.\n");
    const std::size_t replugged = ran.out.find(": replugged\n");
    const std::size_t found = ran.out.find("  -> found again after ");
    EXPECT_TRUE(unplugged < gone && gone < replugged && replugged < found &&
                found != std::string::npos)
        << ran.out;
    EXPECT_EQ(Occurrences(ran.out, "Endpoint query complete."), 2u) << ran.out;
}

// docs/sim.md shows the --demo script as the program plays it.
TEST(CheckMode, TheDocsShowTheDemoScript) {
    const std::string docs = ReadFile(std::string(PENDANT_SOURCE_DIR) + "/docs/sim.md");
    const std::string marker = "<!-- check-demo-script -->\n```\n";
    const std::size_t start = docs.find(marker);
    ASSERT_NE(start, std::string::npos) << "docs/sim.md has no " << marker;
    const std::size_t from = start + marker.size();
    const std::string shown = docs.substr(from, docs.find("```", from) - from);
    const Ran ran = RunSim("--check --demo --print-script");
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(shown, ran.out);
}

} // namespace
