#include <csignal>
#include <cstdio>

#include "check/session.h"

namespace check_session {

namespace {

// Set from the console's Ctrl+C handler, which may do nothing else.
volatile std::sig_atomic_t interrupted = 0;

BOOL WINAPI OnCtrlC(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    interrupted = 1;
    return TRUE;
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

} // namespace

bool CtrlCPressed() {
    return interrupted != 0;
}

bool Arm() {
    interrupted = 0;
    return SetConsoleCtrlHandler(OnCtrlC, TRUE) != FALSE;
}

void Disarm() {
    SetConsoleCtrlHandler(OnCtrlC, FALSE);
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
    ++reportLengths_[{device_.LastReport[0], device_.LastReportBytes}];
}

WaitEnd Check::Link(CheckPrompt prompt) const {
    if (prompt == CheckPrompt::PlugIn)
        return reconnection_.away ? WaitEnd::TimedOut : WaitEnd::Done;
    if (!reconnection_.away)
        return WaitEnd::TimedOut;
    return prompt == CheckPrompt::Unplug ? WaitEnd::Done : WaitEnd::Gone;
}

WaitEnd Check::Wait(CheckPrompt prompt, Takes takes, const std::function<bool()>& done) {
    std::fflush(stdout);
    const DWORD started = GetTickCount();
    bool first = true;
    reportNow_ = false; // a report of an earlier wait is not this wait's
    for (;;) {
        if (CtrlCPressed())
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

Came Check::Await(CheckStep& step, CheckPrompt prompt, Takes takes,
                  const std::function<bool()>& done) {
    const WaitEnd end = Wait(prompt, takes, done);
    if (Ended(step, end))
        return Came::Settled;
    return end == WaitEnd::Done ? Came::Done : Came::TimedOut;
}

Reply Check::Ask(CheckStep& step, CheckPrompt prompt, const std::string& unanswered,
                 const std::string& why) {
    switch (Await(step, prompt, Takes::Answer, [] { return false; })) {
    case Came::Done:
        std::printf("  -> %s\n", answerYes_ ? "yes" : "no");
        return answerYes_ ? Reply::Yes : Reply::No;
    case Came::TimedOut:
        std::printf("  -> %s within %g s\n", unanswered.c_str(), Seconds());
        Timeout(step, why);
        return Reply::TimedOut;
    case Came::Settled:
        break;
    }
    return Reply::Settled;
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

void Check::Timeout(CheckStep& step, const std::string& what) {
    char why[160];
    std::snprintf(why, sizeof why, "%s within %g s", what.c_str(), Seconds());
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
    bool same = true;
    for (int a = 0; a < 3; ++a)
        same = same && device_.CoordSet1[a] == v.CoordSet1[a] &&
               device_.CoordSet2[a] == v.CoordSet2[a];
    for (int w = 0; w < 4; ++w)
        same = same && device_.DisplayWord[w] == v.DisplayWord[w];
    if (!same)
        device_.SetDisplay(v);
}

} // namespace check_session
