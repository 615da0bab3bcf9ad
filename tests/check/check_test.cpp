// pendant-test --check against the virtual pendant with a scripted person:
// a good pendant passes; each fault fails the step it belongs to, and only
// that one; the record reads back as JSON; Ctrl+C ends with the summary.
#include <algorithm>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "app/options.h"
#include "check/check.h"
#include "check/scripted_person.h"
#include "support/virtual_pendant_test.h"

namespace vp = virtual_pendant;

namespace {

void Queue(int axis, int count) {
    const auto r = WheelReport(axis, count);
    vp::QueueReport({r.begin(), r.end()});
}
void QueueRaw(std::uint8_t axisCode, std::uint8_t delta) {
    vp::QueueReport({WheelReportId, 0, 0, axisCode, delta, 0, 0, 0});
}

// A person who does what each prompt asks, once, when it first comes.
// Tests change single prompts to make a fault.
struct GoodPerson {
    std::map<CheckPrompt, std::function<void()>> act;
    ScriptedPerson typist;
    CheckPrompt last = CheckPrompt::None;
    std::vector<CheckPrompt> seen;

    GoodPerson() {
        act[CheckPrompt::Pattern1] = [this] { typist.Type("y"); };
        act[CheckPrompt::Pattern2] = [this] { typist.Type("y"); };
        act[CheckPrompt::AxisOff] = [] { Queue(0, 0); };
        act[CheckPrompt::Axis1] = [] { Queue(1, 0); };
        act[CheckPrompt::Axis2] = [] { Queue(2, 0); };
        act[CheckPrompt::Axis3] = [] { Queue(3, 0); };
        act[CheckPrompt::WheelForward] = [] {
            Queue(3, 5);
            Queue(3, 7);
        };
        act[CheckPrompt::WheelBackward] = [] {
            Queue(3, -6);
            Queue(3, -6);
        };
        act[CheckPrompt::WheelDisplay] = [this] { typist.Type("y"); };
        act[CheckPrompt::Unplug] = [] { vp::Unplug(); };
        act[CheckPrompt::PlugIn] = [] { vp::Replug(); };
    }

    CheckPerson Person() {
        return typist.Person([this](PendantDevice&, CheckPrompt prompt) {
            if (prompt == last)
                return;
            last = prompt;
            seen.push_back(prompt);
            if (auto it = act.find(prompt); it != act.end() && it->second)
                it->second();
        });
    }
};

constexpr DWORD StepMs = 1000; // virtual time: a wait is about 33 turns

struct Outcome {
    int status = -1;
    std::string out;
    nlohmann::json record;
};

class CheckTest : public VirtualPendantTest {
  protected:
    Outcome Run(GoodPerson& person, CheckOptions options = {}) {
        options.stepTimeoutMs = StepMs;
        // Named after the test: CTest runs tests side by side.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/')
                c = '.';
        options.reportPath = ::testing::TempDir() + "check_record." + name + ".json";
        std::remove(options.reportPath.c_str());
        Outcome o;
        const CheckPerson p = person.Person();
        o.out = CaptureStdout([&] { o.status = RunCheck(options, p); });
        std::ifstream file(options.reportPath);
        EXPECT_TRUE(file.good()) << "no record written";
        if (file.good())
            o.record = nlohmann::json::parse(file); // throws on a malformed record
        EXPECT_EQ(vp::Open(), vp::OpenCounts{}) << "the check left something open";
        return o;
    }

    // The results of the steps, one letter each: P, F, S.
    static std::string Results(const nlohmann::json& record) {
        std::string letters;
        for (const auto& step : record.at("steps"))
            letters += step.at("result").get<std::string>().front();
        return letters;
    }

    // What a good pendant's check shows, whichever way it was reached.
    static void GoodPendantPassed(const Outcome& o, bool hid) {
        EXPECT_EQ(o.status, CheckPassed) << o.out;
        EXPECT_EQ(Results(o.record), hid ? "PPPPPS" : "PPPPPP") << o.out;
        EXPECT_NE(o.out.find(hid ? "Verdict: PASS (5 passed, 1 skipped)"
                                 : "Verdict: PASS (6 passed, 0 skipped)"),
                  std::string::npos)
            << o.out;
        // Every rule holds; on the HID driver none can be seen.
        const auto& rules = o.record.at("steps").at(5).at("rules");
        EXPECT_EQ(rules.size(), 7u);
        for (const auto& rule : rules)
            EXPECT_EQ(rule.at("result"), hid ? "SKIPPED" : "PASS") << rule;
        // Both patterns reached the display as the pendant decodes them.
        int matched = 0;
        for (const auto& frame : vp::Frames()) {
            EXPECT_EQ(frame.problem, "");
            for (const auto& pattern : CheckPatterns)
                if (std::abs(frame.display.CoordSet1[2] - pattern.CoordSet1[2]) < 0.0005 &&
                    frame.display.DisplayWord[3] == pattern.DisplayWord[3])
                    ++matched;
        }
        EXPECT_GE(matched, 2);
        // The wheel's counts on axis 3 (+12 -12) came back to 0 on the display;
        // at +12 the pendant was shown +12.
        const auto& wheel = o.record.at("steps").at(3).at("figures");
        EXPECT_EQ(wheel.at("forwardCounts"), 12);
        EXPECT_EQ(wheel.at("backwardCounts"), 12);
        EXPECT_EQ(wheel.at("largestCount"), 7);
        EXPECT_EQ(wheel.at("ignoredReports"), 0);
        EXPECT_EQ(wheel.at("peakAxis3"), 12);
        EXPECT_DOUBLE_EQ(wheel.at("displayAxis3").get<double>(), 0.0);
        bool shownTwelve = false;
        for (const auto& frame : vp::Frames())
            shownTwelve = shownTwelve || std::abs(frame.display.CoordSet2[2] - 12.0) < 0.0005;
        EXPECT_TRUE(shownTwelve);
        // The unplug step went through the reconnecting code: the survey twice.
        EXPECT_EQ(vp::Open().files, 0);
        EXPECT_GE(o.record.at("steps").at(4).at("figures").at("awayMs").get<int>(), 0);
    }
};

// Through WinUSB, and on the system's HID driver (--hid).
TEST_F(CheckTest, GoodPendantPassesEveryStepAndTheDisplayGotWhatWasAsked) {
    for (const bool hid : {false, true}) {
        SCOPED_TRACE(hid ? "--hid" : "WinUSB");
        vp::Reset();
        if (hid)
            vp::SetDevice(vp::HidBoundDevice());
        CheckOptions options;
        options.hid = hid;
        GoodPerson person;
        const Outcome o = Run(person, options);
        GoodPendantPassed(o, hid);
    }
}

// One fault each, and the one step it must fail (or skip) with its reason.
struct Fault {
    const char* name;
    std::function<void(GoodPerson&)> make;
    const char* results;
    const char* why; // in the failing step's reason
    int status;
};

const Fault Faults[] = {
    {"DisplayRejected",
     [](GoodPerson& p) { p.act[CheckPrompt::Pattern2] = [&p] { p.typist.Type("n"); }; }, "PFPPPP",
     "pattern 2 was not shown as sent", CheckFailed},
    {"NoAnswer", [](GoodPerson& p) { p.act[CheckPrompt::Pattern1] = nullptr; }, "PFPPPP",
     "no answer for pattern 1 within 1 s", CheckFailed},
    {"DisplayRefused",
     [](GoodPerson& p) {
         p.act[CheckPrompt::Pattern1] = [&p] {
             vp::FailCall(vp::Call::WinUsb_ControlTransfer, 1, ERROR_GEN_FAILURE, true);
             p.typist.Type("y");
         };
     },
     "PFPFPF", "display reports were refused by the pendant", CheckFailed},
    {"PositionNeverComes", [](GoodPerson& p) { p.act[CheckPrompt::Axis2] = nullptr; }, "PPFPPP",
     "position 2 did not come within 1 s", CheckFailed},
    {"WheelNeverBackward", [](GoodPerson& p) { p.act[CheckPrompt::WheelBackward] = nullptr; },
     "PPPFPP", "only 0 of 10 counts backward within 1 s", CheckFailed},
    {"CountOutsideRange",
     [](GoodPerson& p) {
         p.act[CheckPrompt::WheelForward] = [] {
             QueueRaw(AxisCodeOf(3), 0x40);
             Queue(3, 12);
         };
     },
     "PPPFPP", "1 report with a count outside +-31 (first 0x40)", CheckFailed},
    {"DisplayDidNotFollow",
     [](GoodPerson& p) { p.act[CheckPrompt::WheelDisplay] = [&p] { p.typist.Type("n"); }; },
     "PPPFPP", "the display did not follow the wheel", CheckFailed},
    {"UnpluggedMidStep",
     [](GoodPerson& p) {
         p.act[CheckPrompt::Axis1] = [] { vp::Unplug(); };
         // Back in the plug-in wait; then the later steps go on.
     },
     "PPFPPP", "the pendant went away during the step", CheckFailed},
    {"NeverPluggedInAgain", [](GoodPerson& p) { p.act[CheckPrompt::PlugIn] = nullptr; }, "PPPPFS",
     "not found again within 1 s", CheckFailed},
    {"EnterSkips", [](GoodPerson& p) { p.act[CheckPrompt::AxisOff] = [&p] { p.typist.Type(""); }; },
     "PPSPPP", "skipped with Enter", CheckPassed},
};

class CheckFaultTest : public CheckTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(CheckFaultTest, FailsItsStepSaysWhyAndGoesOn) {
    GoodPerson person;
    GetParam().make(person);
    const Outcome o = Run(person);
    EXPECT_EQ(o.status, GetParam().status) << o.out;
    EXPECT_EQ(Results(o.record), GetParam().results) << o.out;
    EXPECT_EQ(o.record.at("exitStatus"), GetParam().status);
    bool said = false;
    for (const auto& step : o.record.at("steps"))
        said = said || step.at("why").get<std::string>().find(GetParam().why) != std::string::npos;
    EXPECT_TRUE(said) << "no step says \"" << GetParam().why << "\"\n" << o.out;
    EXPECT_NE(o.out.find(GetParam().why), std::string::npos) << "the summary does not say why";
}

INSTANTIATE_TEST_SUITE_P(Faults, CheckFaultTest, ::testing::ValuesIn(Faults),
                         [](const ::testing::TestParamInfo<Fault>& p) {
                             return std::string(p.param.name);
                         });

// A pendant that breaks one rule hosts hold it to, and the rule that must
// fail for it, naming what was seen; the other steps pass.
struct RuleFault {
    const char* name;
    std::function<void(vp::Device&)> make;
    const char* rule;
    const char* why;
};

// The pendant's descriptor with its feature report one byte longer.
std::vector<std::uint8_t> LongFeatureDescriptor() {
    std::vector<std::uint8_t> d = protocol::PendantReportDescriptor(8);
    const std::uint8_t feature[] = {0x85, DisplayReportId, 0x09, 0x03, 0x95};
    auto at = std::search(d.begin(), d.end(), std::begin(feature), std::end(feature));
    if (at != d.end())
        ++at[5];
    return d;
}

const RuleFault RuleFaults[] = {
    {"ControlPacketSize", [](vp::Device& d) { d.descriptor.bMaxPacketSize0 = 7; },
     "device-descriptor", "bMaxPacketSize0 is 7 (8, 16, 32 or 64): hosts refuse the device"},
    {"HidDescriptorLength", [](vp::Device& d) { d.hidReportLength = 40; }, "hid-descriptor",
     "declares a report descriptor of 40 bytes, GET_DESCRIPTOR gave 31"},
    {"CollectionLeftOpen", [](vp::Device& d) { d.reportDescriptor.pop_back(); },
     "report-descriptor",
     "at the end: 1 collection left open: Linux's HID core refuses the descriptor"},
    {"FeatureReportLength", [](vp::Device& d) { d.reportDescriptor = LongFeatureDescriptor(); },
     "pendant-reports", "declares feature report 6 of 9 bytes"},
    {"IntervalZero", [](vp::Device& d) { d.pipes[0].interval = 0; }, "interrupt-in",
     "bInterval 0 at full speed (1 to 255 ms)"},
    {"HighSpeedInterval",
     [](vp::Device& d) {
         d.speed = HighSpeed;
         d.pipes[0].interval = 20;
     },
     "interrupt-in", "bInterval 20 at high speed (1 to 16)"},
    {"SetIdleUnanswered", [](vp::Device& d) { d.unansweredRequests = {HidSetIdle}; },
     "class-requests", "SET_IDLE left unanswered until the host gave up"},
    {"ShortReports", nullptr, "reports-as-sent",
     "were 6 bytes where the descriptor declares 8: Linux's hidraw and Windows' HID driver drop "
     "such reports"},
};

class CheckRuleTest : public CheckTest, public ::testing::WithParamInterface<RuleFault> {};

TEST_P(CheckRuleTest, FailsTheRuleSaysWhatWasSeenAndTheOtherStepsPass) {
    vp::Device device = vp::CurrentDevice();
    GoodPerson person;
    if (GetParam().make) {
        GetParam().make(device);
    } else {
        // Reports two bytes short of what the descriptor declares.
        for (auto& [prompt, act] : person.act)
            if (prompt >= CheckPrompt::AxisOff && prompt <= CheckPrompt::WheelBackward)
                act = [prompt = prompt] {
                    const int axis =
                        prompt <= CheckPrompt::Axis3
                            ? static_cast<int>(prompt) - static_cast<int>(CheckPrompt::AxisOff)
                            : 3;
                    const int count = prompt == CheckPrompt::WheelForward    ? 12
                                      : prompt == CheckPrompt::WheelBackward ? -12
                                                                             : 0;
                    const auto r = WheelReport(axis, count);
                    vp::QueueReport({r.begin(), r.begin() + 6});
                };
    }
    vp::SetDevice(device);
    const Outcome o = Run(person);
    EXPECT_EQ(o.status, CheckFailed) << o.out;
    EXPECT_EQ(Results(o.record), "PPPPPF") << o.out;
    std::string title;
    for (const auto& rule : o.record.at("steps").at(5).at("rules")) {
        if (rule.at("name") != GetParam().rule) {
            EXPECT_NE(rule.at("result"), "FAIL") << rule;
            continue;
        }
        title = rule.at("title");
        EXPECT_EQ(rule.at("result"), "FAIL");
        EXPECT_NE(rule.at("why").get<std::string>().find(GetParam().why), std::string::npos)
            << rule;
    }
    ASSERT_FALSE(title.empty()) << "no rule " << GetParam().rule;
    EXPECT_EQ(o.record.at("steps").at(5).at("why"), title);
    EXPECT_NE(o.out.find("Verdict: FAIL (USB and HID rules [" + title + "])"), std::string::npos)
        << o.out;
    // Said in the step and again in the summary, on the rule's own line.
    const std::size_t first = o.out.find(GetParam().why);
    EXPECT_NE(first, std::string::npos) << o.out;
    EXPECT_NE(o.out.find(GetParam().why, first + 1), std::string::npos) << "not in the summary";
}

INSTANTIATE_TEST_SUITE_P(Rules, CheckRuleTest, ::testing::ValuesIn(RuleFaults),
                         [](const ::testing::TestParamInfo<RuleFault>& p) {
                             return std::string(p.param.name);
                         });

TEST_F(CheckTest, WheelTurnedWhileAPatternIsJudgedDoesNotChangeIt) {
    GoodPerson person;
    int turns = 0;
    person.act[CheckPrompt::Pattern1] = [] { Queue(2, 9); };
    CheckPerson p = person.Person();
    const auto act = p.beforeTurn;
    p.beforeTurn = [&](PendantDevice& device, CheckPrompt prompt) {
        act(device, prompt);
        if (prompt == CheckPrompt::Pattern1 && ++turns == 4) {
            // The jog was read turns ago: what the display got last is the pattern.
            EXPECT_NEAR(vp::LastFrame().display.CoordSet2[1], CheckPatterns[0].CoordSet2[1],
                        0.0005);
            person.typist.Type("y");
        }
    };
    CheckOptions options;
    options.stepTimeoutMs = StepMs;
    int status = -1;
    const std::string out = CaptureStdout([&] { status = RunCheck(options, p); });
    EXPECT_EQ(turns, 4) << out;
    EXPECT_EQ(status, CheckPassed) << out;
}

TEST_F(CheckTest, UnpluggedMidStepComesBackAndTheLaterStepsRun) {
    GoodPerson person;
    person.act[CheckPrompt::Axis1] = [] { vp::Unplug(); };
    const Outcome o = Run(person);
    // The plug-in prompt came after the axis step's and before the wheel's.
    const auto& s = person.seen;
    const auto plug = std::find(s.begin(), s.end(), CheckPrompt::PlugIn);
    const auto wheel = std::find(s.begin(), s.end(), CheckPrompt::WheelForward);
    EXPECT_TRUE(plug < wheel && wheel != s.end()) << o.out;
}

TEST_F(CheckTest, NoPersonSkipsWhatNeedsOneAndJudgesTheRest) {
    GoodPerson person;
    person.act[CheckPrompt::Pattern1] = [] { ADD_FAILURE() << "asked about the display"; };
    CheckOptions options;
    options.person = false;
    const Outcome o = Run(person, options);
    EXPECT_EQ(o.status, CheckPassed) << o.out;
    EXPECT_EQ(Results(o.record), "PSPPSP") << o.out;
    EXPECT_EQ(o.record.at("person"), false);
    // Without the question, the wheel is judged by the frame it sent.
    EXPECT_EQ(vp::LastFrame().display.CoordSet2[2], 0.0);
}

TEST_F(CheckTest, CtrlCEndsWithThePartialSummaryAndGivesThePendantBack) {
    GoodPerson person;
    person.act[CheckPrompt::Axis2] = [] { EXPECT_TRUE(vp::PressCtrlC()); };
    const Outcome o = Run(person);
    EXPECT_EQ(o.status, CheckInterrupted) << o.out;
    EXPECT_EQ(Results(o.record), "PPSSSS") << o.out;
    EXPECT_EQ(o.record.at("verdict"), "INTERRUPTED");
    EXPECT_NE(o.out.find("Verdict: none, the check was ended with Ctrl+C"), std::string::npos);
    EXPECT_EQ(vp::CountOf(vp::Call::WinUsb_Free), 1u);
    // The handler is gone with the check: Ctrl+C now is the program's end.
    EXPECT_FALSE(vp::PressCtrlC());
}

TEST_F(CheckTest, RecordHoldsThePendantTheTimesAndEachStepsFigures) {
    GoodPerson person;
    const Outcome o = Run(person);
    const auto& r = o.record;
    EXPECT_EQ(r.at("tool"), "pendant-test");
    EXPECT_FALSE(r.at("version").get<std::string>().empty());
    EXPECT_EQ(r.at("stepTimeoutSeconds"), 1);
    const vp::Device d = vp::CurrentDevice();
    EXPECT_EQ(r.at("pendant").at("vendorId"), d.descriptor.idVendor);
    EXPECT_EQ(r.at("pendant").at("productId"), d.descriptor.idProduct);
    EXPECT_EQ(r.at("pendant").at("readPipe"), 0x81);
    EXPECT_EQ(r.at("pendant").at("packetBytes"), 8);
    EXPECT_EQ(r.at("pendant").at("reportBytes"), DefaultInputReportBytes);
    EXPECT_EQ(r.at("pendant").at("devicePath"), d.path);
    // ISO 8601 UTC, the end not before the start (the same format sorts).
    const std::string started = r.at("started"), ended = r.at("ended");
    EXPECT_EQ(started.size(), 20u);
    EXPECT_EQ(started.back(), 'Z');
    EXPECT_LE(started, ended);
    const std::vector<std::string> names = {"connection", "display", "axis", "wheel", "unplug"};
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(r.at("steps").at(i).at("name"), names[i]);
    EXPECT_EQ(r.at("steps").at(2).at("figures").at("codeAxis2"), AxisCodeOf(2));
}

TEST_F(CheckTest, NoPendantExitsTwoWithTheUsualMessagesAndNoClosingRead) {
    vp::Unplug();
    std::istringstream in("word\n");
    int status = -1;
    const char* argv[] = {"pendant-test", "--check"};
    const std::string out = CaptureStdout([&] { status = RunCheckCommand(2, argv, in); });
    EXPECT_EQ(status, CheckNotOpened);
    EXPECT_EQ(out, "Device not connected or driver not installed\nnothing to do...\n");
    EXPECT_EQ(in.tellg(), 0) << "the check waited for a word";
}

TEST_F(CheckTest, NoPendantStillLeavesARecord) {
    vp::Unplug();
    GoodPerson person;
    const Outcome o = Run(person);
    EXPECT_EQ(o.status, CheckNotOpened);
    EXPECT_EQ(o.record.at("verdict"), "NOT OPENED");
    EXPECT_TRUE(o.record.at("pendant").is_null());
    EXPECT_EQ(Results(o.record), "FSSSSS");
}

TEST_F(CheckTest, ConnectionFailsWithoutAnInPipe) {
    vp::SetDevice(DeviceWithPipes({{UsbdPipeTypeInterrupt, 0x01, 8}}));
    GoodPerson person;
    const Outcome o = Run(person);
    EXPECT_EQ(o.record.at("steps").at(0).at("result"), "FAIL") << o.out;
    EXPECT_EQ(o.record.at("steps").at(0).at("why"),
              "the read pipe 0x01 is an OUT pipe: no IN pipe");
    // What needs reports is skipped, not left to time out.
    EXPECT_EQ(Results(o.record), "FPSSSP") << o.out;
    EXPECT_EQ(o.record.at("steps").at(2).at("why"), "no IN pipe to read reports from");
}

TEST(CheckPatterns, DifferInEveryPlaceAsTheDisplayShowsThem) {
    // Sign, four digits and four decimals, as the pendant decodes the frame.
    auto shown = [](const protocol::DisplayValues& pattern) {
        protocol::DecodedDisplay d;
        EXPECT_EQ(protocol::DecodeDisplayFrame(protocol::BuildFrame(pattern).data(), d), "");
        return d;
    };
    auto places = [](double v) {
        char text[16];
        std::snprintf(text, sizeof text, "%+010.4f", v);
        return std::string(text);
    };
    const protocol::DecodedDisplay a = shown(CheckPatterns[0]), b = shown(CheckPatterns[1]);
    for (int i = 0; i < 6; ++i) {
        const double va = i < 3 ? a.CoordSet1[i] : a.CoordSet2[i - 3];
        const double vb = i < 3 ? b.CoordSet1[i] : b.CoordSet2[i - 3];
        const std::string sa = places(va), sb = places(vb);
        for (std::size_t c = 0; c < sa.size(); ++c) {
            if (sa[c] != '.') {
                EXPECT_NE(sa[c], sb[c]) << sa << " and " << sb << " share place " << c;
            }
        }
    }
    for (int n = 0; n < CheckPatternCount; ++n) {
        const protocol::DecodedDisplay d = shown(CheckPatterns[n]);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(d.CoordSet1[i], CheckPatterns[n].CoordSet1[i], 0.0005);
            EXPECT_NEAR(d.CoordSet2[i], CheckPatterns[n].CoordSet2[i], 0.0005);
        }
    }
    for (int w = 0; w < 4; ++w) {
        char sa[8], sb[8];
        std::snprintf(sa, sizeof sa, "%05u", static_cast<unsigned>(a.DisplayWord[w]));
        std::snprintf(sb, sizeof sb, "%05u", static_cast<unsigned>(b.DisplayWord[w]));
        for (int c = 0; c < 5; ++c)
            EXPECT_NE(sa[c], sb[c]) << sa << " and " << sb;
    }
}

struct Args {
    std::vector<const char*> argv;
    bool check;
    DWORD stepMs;
    const char* report;
    bool person;
    const char* problem;
};
const Args ArgTable[] = {
    {{"--check"}, true, DefaultStepTimeoutMs, "", true, ""},
    {{"--check", "--step-timeout", "5", "--report", "r.json", "--no-person"},
     true,
     5000,
     "r.json",
     false,
     ""},
    {{"--check", "--step-timeout=7", "--report=x y.json", "other"},
     true,
     7000,
     "x y.json",
     true,
     ""},
    {{"--check", "--step-timeout", "0"},
     true,
     DefaultStepTimeoutMs,
     "",
     true,
     "--step-timeout takes whole seconds from 1 to 3600"},
    {{"--check", "--step-timeout", "5s"},
     true,
     DefaultStepTimeoutMs,
     "",
     true,
     "--step-timeout takes whole seconds from 1 to 3600"},
    {{"--check", "--report"},
     true,
     DefaultStepTimeoutMs,
     "",
     true,
     "--report takes the name of the file to write"},
    {{"--report", "r.json"}, false, DefaultStepTimeoutMs, "r.json", true, ""},
};

TEST(CheckOptionsParse, Table) {
    for (const Args& a : ArgTable) {
        std::vector<const char*> argv = {"pendant-test"};
        argv.insert(argv.end(), a.argv.begin(), a.argv.end());
        const int argc = static_cast<int>(argv.size());
        const ToolOptions o = ParseOptions(argc, argv.data());
        CheckOptions check;
        const std::string problem = ParseCheckOptions(argc, argv.data(), check);
        const std::string line = a.argv.size() > 1 ? a.argv[1] : a.argv[0];
        EXPECT_EQ(o.check, a.check) << line;
        EXPECT_EQ(check.stepTimeoutMs, a.stepMs) << line;
        EXPECT_EQ(check.reportPath, a.report) << line;
        EXPECT_EQ(check.person, a.person) << line;
        EXPECT_EQ(problem, a.problem) << line;
        EXPECT_FALSE(o.reconnect);
    }
}

TEST_F(CheckTest, BadOptionExitsTwoBeforeTouchingThePendant) {
    std::istringstream in;
    const char* argv[] = {"pendant-test", "--check", "--step-timeout", "x"};
    int status = -1;
    const std::string out = CaptureStdout([&] { status = RunCheckCommand(4, argv, in); });
    EXPECT_EQ(status, CheckNotOpened);
    EXPECT_EQ(vp::CountOf(vp::Call::SetupDiGetClassDevsA), 0u);
}

TEST_F(CheckTest, RecordThatCannotBeWrittenIsSaidBeforeThePendantIsTouched) {
    CheckOptions options;
    options.reportPath = ::testing::TempDir() + "no-such-folder/record.json";
    int status = -1;
    const std::string out = CaptureStdout([&] { status = RunCheck(options, {}); });
    EXPECT_EQ(status, CheckNotOpened);
    EXPECT_EQ(out, "");
    EXPECT_EQ(vp::CountOf(vp::Call::SetupDiGetClassDevsA), 0u);
}

} // namespace
