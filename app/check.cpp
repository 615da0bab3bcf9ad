#include "app/check.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "app/check_record.h"
#include "app/entry.h"
#include "app/reconnect.h"
#include "pendant/pendant_device.h"

const protocol::DisplayValues CheckPatterns[CheckPatternCount] = {
    {{1234.567f, 2345.678f, 3456.789f},
     {-4567.891f, -5678.912f, -6789.123f},
     {12345, 23456, 34567, 45678}},
    {{-5678.901f, -6789.012f, -7890.123f},
     {8901.234f, 9012.345f, 5012.454f},
     {61234, 50123, 40312, 56789}},
};

const char* CheckPromptName(CheckPrompt prompt) {
    switch (prompt) {
    case CheckPrompt::None:
        return "none";
    case CheckPrompt::Pattern1:
        return "pattern-1";
    case CheckPrompt::Pattern2:
        return "pattern-2";
    case CheckPrompt::AxisOff:
        return "axis-off";
    case CheckPrompt::Axis1:
        return "axis-1";
    case CheckPrompt::Axis2:
        return "axis-2";
    case CheckPrompt::Axis3:
        return "axis-3";
    case CheckPrompt::WheelForward:
        return "wheel-forward";
    case CheckPrompt::WheelBackward:
        return "wheel-backward";
    case CheckPrompt::WheelDisplay:
        return "wheel-display";
    case CheckPrompt::Unplug:
        return "unplug";
    case CheckPrompt::PlugIn:
        return "plug-in";
    }
    return "none";
}

namespace {

// Set from the console's Ctrl+C handler, which may do nothing else.
volatile std::sig_atomic_t interrupted = 0;

BOOL WINAPI OnCtrlC(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    interrupted = 1;
    return TRUE;
}

enum class WaitEnd { Done, TimedOut, Skipped, Gone, Interrupted };

// What a wait takes from the person's lines.
enum class Takes { Nothing, Answer };

class Check {
  public:
    Check(const CheckOptions& options, const CheckPerson& person, PendantDevice& device,
          CheckRecord& record)
        : options_(options), person_(person), device_(device), record_(record) {}

    void Run();

  private:
    CheckStep& Begin(std::size_t index);
    bool Stop() const { return stopped_; }
    // Turns until done() says so after a report (or at once when it already
    // does), the time-out, an Enter, Ctrl+C, or the pendant going away.
    template <typename Done> WaitEnd Wait(CheckPrompt prompt, Takes takes, Done done);
    void TakeLines();
    // What the pendant's coming or going means to a wait for prompt: Done
    // (back, for plug-in; gone, for unplug), Gone (gone during another
    // wait), or TimedOut for "nothing to say".
    WaitEnd Link(CheckPrompt prompt) const;
    void Observe();
    // After a wait that saw the pendant go: fails the step and waits for it
    // to come back; false when it did not (the check ends).
    bool AfterGone(CheckStep& step);
    void Interrupted(CheckStep& step);
    // The endings every wait settles alike: Enter skips the step, Ctrl+C
    // ends the check, the pendant going fails the step (AfterGone). True
    // when the step ended so.
    bool Ended(CheckStep& step, WaitEnd end);
    void Timeout(CheckStep& step, const char* what);
    double Seconds() const { return static_cast<double>(options_.stepTimeoutMs) / 1000.0; }

    // Marks the step SKIPPED for why and says so; false, for the callers'
    // "go on" answers below.
    bool Skip(CheckStep& step, const std::string& why);
    // Whether the step can run: with a pipe to read; with a person to do
    // what (with --no-person the step is skipped).
    bool Readable(CheckStep& step);
    bool Person(CheckStep& step, const char* what);
    // Sets the display to these values, dirty only where they changed.
    void Show(const protocol::DisplayValues& v);
    void Connection();
    void Display();
    void Axis();
    void Wheel();
    void Unplug();

    const CheckOptions& options_;
    const CheckPerson& person_;
    PendantDevice& device_;
    CheckRecord& record_;
    Reconnection reconnection_;
    std::deque<std::string> lines_;
    bool answerYes_ = false;
    bool stopped_ = false;
    bool sawReport_ = false;
    bool readable_ = true;   // a pipe to read reports from (else what needs them is skipped)
    bool reportNow_ = false; // a report arrived in the latest turn
    UCHAR axisCode_ = AxisCodeNone;
    // The pattern the person is judging: a wheel turned meanwhile moves the
    // display, so the pattern is put back after every report.
    const protocol::DisplayValues* holding_ = nullptr;
};

constexpr std::size_t StepCount = 5;
constexpr int WheelCountsNeeded = 10;

void PrintValues(const protocol::DecodedDisplay& d) {
    // Four decimals, as the frame carries them: the tool rounds to three,
    // and a display that shows the fourth shows what single precision
    // left there.
    std::printf("    set 1: %+11.4f %+11.4f %+11.4f\n", d.CoordSet1[0], d.CoordSet1[1],
                d.CoordSet1[2]);
    std::printf("    set 2: %+11.4f %+11.4f %+11.4f\n", d.CoordSet2[0], d.CoordSet2[1],
                d.CoordSet2[2]);
    std::printf("    words: %11u %11u %11u %11u\n", static_cast<unsigned>(d.DisplayWord[0]),
                static_cast<unsigned>(d.DisplayWord[1]), static_cast<unsigned>(d.DisplayWord[2]),
                static_cast<unsigned>(d.DisplayWord[3]));
}

// What the pendant is sent for these values, decoded as its display shows it.
protocol::DecodedDisplay SentDisplay(const PendantDevice& device) {
    DisplayFrame frame;
    device.BuildDisplayFrame(frame);
    protocol::DecodedDisplay shown;
    protocol::DecodeDisplayFrame(frame, shown);
    return shown;
}

bool IsAnswer(const std::string& line, bool& yes) {
    if (line == "y" || line == "Y" || line == "yes") {
        yes = true;
        return true;
    }
    if (line == "n" || line == "N" || line == "no") {
        yes = false;
        return true;
    }
    return false;
}

void Check::TakeLines() {
    if (!person_.takeLine)
        return;
    std::string line;
    while (person_.takeLine(line)) {
        // Blanks around a word and a carriage return from a console mean
        // nothing.
        const auto first = line.find_first_not_of(" \t\r");
        const auto last = line.find_last_not_of(" \t\r");
        lines_.push_back(first == std::string::npos ? "" : line.substr(first, last - first + 1));
    }
}

void Check::Observe() {
    reportNow_ = device_.LastReportBytes != 0;
    if (!reportNow_)
        return;
    sawReport_ = true;
    axisCode_ = device_.LastReport[AxisCodeByte];
}

WaitEnd Check::Link(CheckPrompt prompt) const {
    if (prompt == CheckPrompt::PlugIn)
        return reconnection_.away ? WaitEnd::TimedOut : WaitEnd::Done;
    if (!reconnection_.away)
        return WaitEnd::TimedOut;
    return prompt == CheckPrompt::Unplug ? WaitEnd::Done : WaitEnd::Gone;
}

template <typename Done> WaitEnd Check::Wait(CheckPrompt prompt, Takes takes, Done done) {
    std::fflush(stdout);
    const DWORD started = GetTickCount();
    bool first = true;
    reportNow_ = false; // a report of an earlier wait is not this wait's
    for (;;) {
        if (interrupted != 0)
            return WaitEnd::Interrupted;
        if (person_.beforeTurn)
            person_.beforeTurn(device_, prompt);
        TakeLines();
        // A y or n waits for the question it answers, so that answers typed
        // (or piped) ahead reach their questions in order; Enter skips the
        // step that is waiting; anything else is said and dropped.
        while (!lines_.empty()) {
            const std::string line = lines_.front();
            bool yes = false;
            if (line.empty()) {
                lines_.pop_front();
                return WaitEnd::Skipped;
            }
            if (IsAnswer(line, yes)) {
                if (takes != Takes::Answer)
                    break;
                lines_.pop_front();
                answerYes_ = yes;
                return WaitEnd::Done;
            }
            lines_.pop_front();
            std::printf("  (\"%s\" is not an answer here: %s)\n", line.c_str(),
                        takes == Takes::Answer ? "type y or n, or Enter to skip"
                                               : "Enter skips the step");
            std::fflush(stdout);
        }
        if (const WaitEnd link = Link(prompt); link != WaitEnd::TimedOut)
            return link;
        if (first && takes == Takes::Nothing && done()) // already so
            return WaitEnd::Done;
        first = false;
        device_.LastReportBytes = 0;
        RunReconnectingTurn(device_, reconnection_);
        Observe();
        if (reportNow_ && holding_ != nullptr)
            Show(*holding_);
        if (const WaitEnd link = Link(prompt); link != WaitEnd::TimedOut)
            return link;
        if (reportNow_ && takes == Takes::Nothing && done())
            return WaitEnd::Done;
        // Unsigned subtraction stays right across the tick counter's wrap.
        if (GetTickCount() - started >= options_.stepTimeoutMs)
            return WaitEnd::TimedOut;
    }
}

CheckStep& Check::Begin(std::size_t index) {
    CheckStep& step = record_.steps[index];
    std::printf("\n[%u/%u] %s\n", static_cast<unsigned>(index + 1),
                static_cast<unsigned>(StepCount), step.title);
    return step;
}

void Check::Interrupted(CheckStep& step) {
    step.result = StepResult::Skipped;
    step.why = "the check was ended with Ctrl+C";
    stopped_ = true;
}

bool Check::Ended(CheckStep& step, WaitEnd end) {
    switch (end) {
    case WaitEnd::Skipped:
        std::printf("  -> skipped\n");
        step.result = StepResult::Skipped;
        step.why = "skipped with Enter";
        return true;
    case WaitEnd::Interrupted:
        Interrupted(step);
        return true;
    case WaitEnd::Gone:
        AfterGone(step);
        return true;
    case WaitEnd::Done:
    case WaitEnd::TimedOut:
        break;
    }
    return false;
}

void Check::Timeout(CheckStep& step, const char* what) {
    char why[160];
    std::snprintf(why, sizeof why, "%s within %g s", what, Seconds());
    step.result = StepResult::Fail;
    step.why = why;
}

bool Check::AfterGone(CheckStep& step) {
    step.result = StepResult::Fail;
    step.why = "the pendant went away during the step";
    std::printf("  The pendant went away. Plug it in again to go on (Enter ends the check).\n");
    switch (Wait(CheckPrompt::PlugIn, Takes::Nothing, [] { return false; })) {
    case WaitEnd::Done:
        std::printf("\n  Found again.\n");
        return true;
    case WaitEnd::Interrupted:
        stopped_ = true;
        return false;
    default:
        std::printf("  Not found again: the check ends here.\n");
        stopped_ = true;
        return false;
    }
}

void Check::Connection() {
    CheckStep& step = Begin(0);
    const PendantDevice& d = device_;
    step.figures = {Integer("readPipe", d.ReadPipeId), Integer("packetBytes", d.ReadPacketBytes),
                    Integer("interfaceClass", d.InterfaceClass),
                    Integer("reportBytes", d.DeclaredReportBytes),
                    Integer("readBytes", d.ReadLength)};
    std::printf("  Vendor 0x%04x, product 0x%04x; interface class %u%s\n",
                d.DeviceDescriptor.idVendor, d.DeviceDescriptor.idProduct, d.InterfaceClass,
                d.InterfaceClass == UsbClassHid ? " (HID)" : "");
    char why[160] = "";
    if (d.ReadPipeId == 0) {
        std::snprintf(why, sizeof why, "no pipe to read reports from");
    } else {
        std::printf("  Reads pipe 0x%02x, %u bytes a packet, %lu bytes a read\n", d.ReadPipeId,
                    d.ReadPacketBytes, static_cast<unsigned long>(d.ReadLength));
        if ((d.ReadPipeId & USB_ENDPOINT_DIRECTION_MASK) == 0)
            std::snprintf(why, sizeof why, "the read pipe 0x%02x is an OUT pipe: no IN pipe",
                          d.ReadPipeId);
        else if (d.ReadPacketBytes == 0 || d.ReadPacketBytes > InputReportBytes)
            std::snprintf(why, sizeof why, "the IN pipe's packet size is %u bytes (1 to 64 work)",
                          d.ReadPacketBytes);
    }
    if (why[0] == '\0' && d.InterfaceClass == UsbClassHid) {
        if (d.DeclaredReportBytes == 0)
            std::snprintf(why, sizeof why,
                          "a HID interface whose report descriptor declares no input report");
        else if (d.DeclaredReportBytes < InputReportLookedAt)
            std::snprintf(why, sizeof why, "input reports of %lu bytes: the tool reads %u",
                          static_cast<unsigned long>(d.DeclaredReportBytes),
                          static_cast<unsigned>(InputReportLookedAt));
        else
            std::printf("  Report descriptor: input reports of %lu bytes\n",
                        static_cast<unsigned long>(d.DeclaredReportBytes));
    } else if (why[0] == '\0') {
        std::printf("  Not a HID interface: no report descriptor to read\n");
    }
    step.result = why[0] == '\0' ? StepResult::Pass : StepResult::Fail;
    step.why = why;
    readable_ = d.ReadPipeId != 0 && (d.ReadPipeId & USB_ENDPOINT_DIRECTION_MASK) != 0;
}

bool Check::Skip(CheckStep& step, const std::string& why) {
    step.result = StepResult::Skipped;
    step.why = why;
    std::printf("  Skipped: %s\n", why.c_str());
    return false;
}

bool Check::Readable(CheckStep& step) {
    return readable_ || Skip(step, "no IN pipe to read reports from");
}

bool Check::Person(CheckStep& step, const char* what) {
    return options_.person || Skip(step, std::string("needs a person ") + what + " (--no-person)");
}

void Check::Show(const protocol::DisplayValues& v) {
    for (int a = 0; a < 3; ++a) {
        if (device_.CoordSet1[a] != v.CoordSet1[a])
            device_.SetCoordinate(1, a, v.CoordSet1[a]);
        if (device_.CoordSet2[a] != v.CoordSet2[a])
            device_.SetCoordinate(2, a, v.CoordSet2[a]);
    }
    for (int w = 0; w < 4; ++w)
        if (device_.DisplayWord[w] != v.DisplayWord[w])
            device_.SetDisplayWord(w, v.DisplayWord[w]);
}

void Check::Display() {
    CheckStep& step = Begin(1);
    if (!Person(step, "to look at the display"))
        return;
    // The pattern is held only while the person judges it.
    struct Release {
        const protocol::DisplayValues*& held;
        ~Release() { held = nullptr; }
    } release{holding_};
    const unsigned refusedBefore = device_.DisplaySendFailures;
    for (int p = 0; p < CheckPatternCount; ++p) {
        const protocol::DisplayValues& v = CheckPatterns[p];
        Show(v);
        holding_ = &v;
        // Sent before the question, so that an answer typed ahead is an
        // answer about this pattern.
        device_.SendDisplay();
        std::printf("  Pattern %d sent. The display should show:\n", p + 1);
        PrintValues(SentDisplay(device_));
        std::printf("  Does it? Type y or n and Enter (Enter alone skips).\n");
        const CheckPrompt prompt = p == 0 ? CheckPrompt::Pattern1 : CheckPrompt::Pattern2;
        const WaitEnd end = Wait(prompt, Takes::Answer, [] { return false; });
        if (Ended(step, end))
            return;
        char why[120];
        switch (end) {
        case WaitEnd::Done:
            std::printf("  -> %s\n", answerYes_ ? "yes" : "no");
            if (!answerYes_) {
                std::snprintf(why, sizeof why, "pattern %d was not shown as sent", p + 1);
                step.result = StepResult::Fail;
                step.why = why;
                step.figures.push_back(Integer("rejectedPattern", p + 1));
            }
            break;
        case WaitEnd::TimedOut:
            std::snprintf(why, sizeof why, "no answer for pattern %d", p + 1);
            std::printf("  -> %s within %g s\n", why, Seconds());
            Timeout(step, why);
            break;
        default: // settled by Ended
            break;
        }
        if (step.result != StepResult::NotRun)
            break;
    }
    // A refused report means the pendant did not take what it was asked to
    // show, whatever the answer.
    const unsigned refused = device_.DisplaySendFailures - refusedBefore;
    step.figures.push_back(Integer("refusedReports", refused));
    if (step.result == StepResult::NotRun || step.result == StepResult::Pass) {
        if (refused != 0) {
            step.result = StepResult::Fail;
            step.why = std::to_string(refused) +
                       (refused == 1 ? " display report was" : " display reports were") +
                       " refused by the pendant";
        } else {
            step.result = StepResult::Pass;
        }
    }
}

void Check::Axis() {
    CheckStep& step = Begin(2);
    if (!Readable(step))
        return;
    struct Position {
        CheckPrompt prompt;
        const char* name;
        int axis; // -1: off
    };
    static const Position positions[] = {{CheckPrompt::AxisOff, "off", -1},
                                         {CheckPrompt::Axis1, "1", 0},
                                         {CheckPrompt::Axis2, "2", 1},
                                         {CheckPrompt::Axis3, "3", 2}};
    for (const Position& p : positions) {
        std::printf("  Turn the axis selector to %s.\n", p.name);
        const WaitEnd end = Wait(p.prompt, Takes::Nothing,
                                 [&] { return sawReport_ && AxisIndexOf(axisCode_) == p.axis; });
        if (Ended(step, end))
            return;
        char why[120];
        switch (end) {
        case WaitEnd::Done: {
            std::printf("  -> seen: %s (code 0x%02x)\n", p.name, axisCode_);
            char name[16];
            std::snprintf(name, sizeof name, "code%s%s", p.axis < 0 ? "Off" : "Axis",
                          p.axis < 0 ? "" : p.name);
            step.figures.push_back(Integer(name, axisCode_));
            break;
        }
        case WaitEnd::TimedOut:
            std::snprintf(why, sizeof why, "position %s did not come", p.name);
            std::printf("  -> %s within %g s%s\n", why, Seconds(),
                        sawReport_ ? "" : " (no report at all)");
            Timeout(step, why);
            return;
        default: // settled by Ended
            break;
        }
    }
    step.result = StepResult::Pass;
}

void Check::Wheel() {
    CheckStep& step = Begin(3);
    if (!Readable(step))
        return;
    for (int a = 0; a < 3; ++a)
        device_.SetCoordinate(2, a, 0.0f);
    long long forward = 0, backward = 0, unused = 0, net[3] = {0, 0, 0}, peak[3] = {0, 0, 0};
    int largest = 0, ignored = 0, firstIgnored = -1;
    long long turning = 0;
    DWORD firstAt = 0, lastAt = 0;
    auto count = [&] {
        const UCHAR raw = device_.LastReport[JogDeltaByte];
        const int c = DecodeJog(raw);
        if (c == 0) {
            if (raw != 0) {
                ++ignored;
                if (firstIgnored < 0)
                    firstIgnored = raw;
            }
            return;
        }
        const int axis = AxisIndexOf(axisCode_);
        const int size = std::abs(c);
        if (axis < 0) {
            unused += size;
            return;
        }
        (c > 0 ? forward : backward) += size;
        net[axis] += c;
        if (std::llabs(net[axis]) > std::llabs(peak[axis]))
            peak[axis] = net[axis];
        if (size > largest)
            largest = size;
        const DWORD now = GetTickCount();
        if (turning++ == 0)
            firstAt = now;
        lastAt = now;
    };
    struct Way {
        CheckPrompt prompt;
        const char* words;
        long long* total;
    };
    const Way ways[] = {{CheckPrompt::WheelForward, "forward", &forward},
                        {CheckPrompt::WheelBackward, "backward", &backward}};
    bool failed = false;
    for (const Way& w : ways) {
        const int selected = AxisIndexOf(axisCode_);
        if (selected < 0)
            std::printf("  Turn the selector to 1, 2 or 3 (with it off the wheel moves nothing), "
                        "then the wheel %s by at least %d counts.\n",
                        w.words, WheelCountsNeeded);
        else
            std::printf("  Turn the wheel %s by at least %d counts (selector on %d).\n", w.words,
                        WheelCountsNeeded, selected + 1);
        const WaitEnd end = Wait(w.prompt, Takes::Nothing, [&] {
            if (reportNow_)
                count();
            return *w.total >= WheelCountsNeeded;
        });
        if (Ended(step, end))
            return;
        switch (end) {
        case WaitEnd::Done:
            std::printf("  -> %lld counts %s\n", *w.total, w.words);
            break;
        case WaitEnd::TimedOut: {
            char why[120];
            std::snprintf(why, sizeof why, "%lld of %d counts %s", *w.total, WheelCountsNeeded,
                          w.words);
            std::printf("  -> only %s within %g s\n", why, Seconds());
            if (!failed) {
                Timeout(step, (std::string("only ") + why).c_str());
                failed = true;
            }
            break;
        }
        default: // settled by Ended
            break;
        }
    }
    // The counts of the last reports are sent now, so that what is judged is
    // what the pendant was given.
    const unsigned refusedBefore = device_.DisplaySendFailures;
    device_.SendDisplay();
    const protocol::DecodedDisplay shown = SentDisplay(device_);
    const double seconds = static_cast<double>(lastAt - firstAt) / 1000.0;
    const double perSecond =
        turning > 1 && seconds > 0 ? static_cast<double>(turning - 1) / seconds : NAN;
    step.figures = {Integer("forwardCounts", forward),
                    Integer("backwardCounts", backward),
                    Integer("largestCount", largest),
                    Integer("ignoredReports", ignored),
                    Integer("countsWithSelectorOff", unused),
                    Integer("turningReports", turning),
                    Number("reportsPerSecond", perSecond),
                    Number("displayAxis1", shown.CoordSet2[0]),
                    Number("displayAxis2", shown.CoordSet2[1]),
                    Number("displayAxis3", shown.CoordSet2[2]),
                    Integer("peakAxis1", peak[0]),
                    Integer("peakAxis2", peak[1]),
                    Integer("peakAxis3", peak[2])};
    std::printf("  Largest count in one report: %d; %lld reports while turning", largest, turning);
    if (!std::isnan(perSecond))
        std::printf(", %.1f a second", perSecond);
    std::printf("\n");
    char why[160] = "";
    for (int a = 0; a < 3 && why[0] == '\0'; ++a)
        if (std::fabs(shown.CoordSet2[a] - static_cast<double>(net[a])) > 0.0005)
            std::snprintf(why, sizeof why,
                          "the display got %.3f for axis %d, the counts add to %lld",
                          shown.CoordSet2[a], a + 1, net[a]);
    if (why[0] == '\0' && device_.DisplaySendFailures != refusedBefore)
        std::snprintf(why, sizeof why, "the pendant refused the display reports");
    if (ignored != 0) {
        std::printf("  %d reports carried a count the tool ignores (first 0x%02x): counts go to "
                    "+-%d\n",
                    ignored, firstIgnored, JogMaxCount);
        if (!failed) {
            std::snprintf(why, sizeof why, "%d report%s with a count outside +-%d (first 0x%02x)",
                          ignored, ignored == 1 ? "" : "s", JogMaxCount, firstIgnored);
        }
    }
    if (!failed && why[0] != '\0') {
        step.result = StepResult::Fail;
        step.why = why;
        failed = true;
    }
    if (failed)
        return;
    if (options_.person) {
        // The axis turned most, as the person saw it move.
        int most = 0;
        for (int a = 1; a < 3; ++a)
            if (std::llabs(peak[a]) > std::llabs(peak[most]))
                most = a;
        std::printf("  While you turned, axis %d of the second set should have counted to %+.3f, "
                    "and it should now show %+.3f.\n",
                    most + 1, static_cast<double>(peak[most]), shown.CoordSet2[most]);
        std::printf("  Did it? Type y or n and Enter (Enter alone skips).\n");
        const WaitEnd end = Wait(CheckPrompt::WheelDisplay, Takes::Answer, [] { return false; });
        if (Ended(step, end))
            return;
        switch (end) {
        case WaitEnd::Done:
            std::printf("  -> %s\n", answerYes_ ? "yes" : "no");
            if (!answerYes_) {
                step.result = StepResult::Fail;
                step.why = "the display did not follow the wheel";
                return;
            }
            break;
        case WaitEnd::TimedOut:
            std::printf("  -> no answer within %g s\n", Seconds());
            Timeout(step, "no answer whether the display followed");
            return;
        default: // settled by Ended
            break;
        }
    }
    step.result = StepResult::Pass;
}

void Check::Unplug() {
    CheckStep& step = Begin(4);
    if (!Person(step, "to unplug the pendant"))
        return;
    // Only a read tells that the pendant has gone.
    if (!Readable(step))
        return;
    std::printf("  Unplug the pendant now (Enter skips this step).\n");
    const WaitEnd end = Wait(CheckPrompt::Unplug, Takes::Nothing, [] { return false; });
    if (Ended(step, end))
        return;
    switch (end) {
    case WaitEnd::Done:
        break;
    case WaitEnd::TimedOut:
        std::printf("  -> not unplugged within %g s\n", Seconds());
        step.result = StepResult::Skipped;
        step.why = "not unplugged within " + std::to_string(options_.stepTimeoutMs / 1000) + " s";
        return;
    default: // settled by Ended
        break;
    }
    const DWORD goneAt = GetTickCount();
    std::printf("  -> gone. Plug it in again.\n");
    switch (Wait(CheckPrompt::PlugIn, Takes::Nothing, [] { return false; })) {
    case WaitEnd::Done: {
        const DWORD away = GetTickCount() - goneAt;
        std::printf("\n  -> found again after %.1f s\n", static_cast<double>(away) / 1000.0);
        step.figures = {Integer("awayMs", away)};
        step.result = StepResult::Pass;
        return;
    }
    case WaitEnd::TimedOut:
        std::printf("  -> not found again within %g s\n", Seconds());
        Timeout(step, "not found again");
        stopped_ = true;
        return;
    case WaitEnd::Skipped:
        std::printf("  -> skipped\n");
        step.result = StepResult::Skipped;
        step.why = "skipped with Enter while the pendant was away";
        stopped_ = true;
        return;
    case WaitEnd::Interrupted:
        Interrupted(step);
        return;
    case WaitEnd::Gone:
        return;
    }
}

void Check::Run() {
    device_.Trace = false;
    std::printf("\n\nCheck of the pendant: %u steps. Each wait ends after %g s; Enter skips a "
                "step, Ctrl+C ends the check.\n",
                static_cast<unsigned>(StepCount), Seconds());
    Connection();
    void (Check::*const rest[])() = {&Check::Display, &Check::Axis, &Check::Wheel, &Check::Unplug};
    for (auto step : rest) {
        if (Stop())
            break;
        (this->*step)();
    }
    for (CheckStep& step : record_.steps)
        if (step.result == StepResult::NotRun) {
            step.result = StepResult::Skipped;
            step.why = interrupted != 0 ? "the check was ended with Ctrl+C"
                                        : "not reached: the pendant went away";
        }
}

std::vector<CheckStep> FreshSteps() {
    std::vector<CheckStep> steps(StepCount);
    const char* const names[StepCount][2] = {{"connection", "Connection"},
                                             {"display", "Display"},
                                             {"axis", "Axis selector"},
                                             {"wheel", "Wheel"},
                                             {"unplug", "Unplug and plug in again"}};
    for (std::size_t i = 0; i < StepCount; ++i) {
        steps[i].key = names[i][0];
        steps[i].title = names[i][1];
    }
    return steps;
}

// The summary, the verdict and the exit status.
int Conclude(CheckRecord& record) {
    std::printf("\nSummary\n");
    std::string failed;
    int passed = 0, skipped = 0;
    for (const CheckStep& s : record.steps) {
        if (s.why.empty())
            std::printf("  %-26s %s\n", s.title, ResultWord(s.result));
        else
            std::printf("  %-26s %-8s %s\n", s.title, ResultWord(s.result), s.why.c_str());
        if (s.result == StepResult::Fail)
            failed += (failed.empty() ? "" : ", ") + std::string(s.title);
        passed += s.result == StepResult::Pass;
        skipped += s.result == StepResult::Skipped;
    }
    if (interrupted != 0) {
        record.verdict = "INTERRUPTED";
        record.exitStatus = CheckInterrupted;
        std::printf("Verdict: none, the check was ended with Ctrl+C\n");
    } else if (!failed.empty()) {
        record.verdict = "FAIL";
        record.exitStatus = CheckFailed;
        std::printf("Verdict: FAIL (%s)\n", failed.c_str());
    } else {
        record.verdict = "PASS";
        record.exitStatus = CheckPassed;
        std::printf("Verdict: PASS (%d passed, %d skipped)\n", passed, skipped);
    }
    std::fflush(stdout);
    return record.exitStatus;
}

// Writes the record where asked; a record that could not be kept turns a
// pass into a failure, since a workshop relies on it.
int Keep(std::FILE* file, const CheckOptions& options, CheckRecord& record, int status) {
    if (file == nullptr)
        return status;
    record.ended = UtcNow();
    const std::string json = RecordJson(record);
    const bool written = std::fwrite(json.data(), 1, json.size(), file) == json.size();
    const bool closed = std::fclose(file) == 0;
    if (written && closed)
        return status;
    std::fprintf(stderr, "pendant-test: could not write the record to %s: %s\n",
                 options.reportPath.c_str(), std::strerror(errno));
    return status == CheckPassed ? CheckFailed : status;
}

} // namespace

int RunCheck(const CheckOptions& options, const CheckPerson& person) {
    interrupted = 0;
    CheckRecord record;
    record.started = UtcNow();
    record.stepTimeoutSeconds = static_cast<unsigned>(options.stepTimeoutMs / 1000);
    record.person = options.person;
    record.steps = FreshSteps();

    // Opened before the pendant, so that a record that cannot be kept is
    // said before anyone turns a wheel.
    std::FILE* file = nullptr;
    if (!options.reportPath.empty()) {
        file = std::fopen(options.reportPath.c_str(), "wb");
        if (file == nullptr) {
            std::fprintf(stderr, "pendant-test: cannot write the record to %s: %s\n",
                         options.reportPath.c_str(), std::strerror(errno));
            return CheckNotOpened;
        }
    }

    PendantDevice device;
    BOOL noDevice = FALSE;
    const HRESULT r = device.Open(&noDevice);
    std::fflush(stdout);
    if (FAILED(r)) {
        PrintOpenFailure(r, noDevice);
        record.verdict = "NOT OPENED";
        record.exitStatus = CheckNotOpened;
        record.steps[0].result = StepResult::Fail;
        char why[80];
        std::snprintf(why, sizeof why,
                      noDevice ? "no pendant found" : "the pendant could not be opened (0x%08x)",
                      static_cast<unsigned>(r));
        record.steps[0].why = why;
        for (std::size_t i = 1; i < record.steps.size(); ++i) {
            record.steps[i].result = StepResult::Skipped;
            record.steps[i].why = "no pendant";
        }
        return Keep(file, options, record, CheckNotOpened);
    }
    record.opened = true;
    record.devicePath = device.DevicePath;
    record.pendant = {Integer("vendorId", device.DeviceDescriptor.idVendor),
                      Integer("productId", device.DeviceDescriptor.idProduct),
                      Integer("deviceRelease", device.DeviceDescriptor.bcdDevice),
                      Integer("interfaceClass", device.InterfaceClass),
                      Integer("readPipe", device.ReadPipeId),
                      Integer("packetBytes", device.ReadPacketBytes),
                      Integer("reportBytes", device.DeclaredReportBytes),
                      Integer("readBytes", device.ReadLength)};

    const BOOL handling = SetConsoleCtrlHandler(OnCtrlC, TRUE);
    Check check(options, person, device, record);
    check.Run();
    device.Close();
    if (handling)
        SetConsoleCtrlHandler(OnCtrlC, FALSE);
    const int status = Conclude(record);
    return Keep(file, options, record, status);
}
