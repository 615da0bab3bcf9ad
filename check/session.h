// Inside the check: the steps as members of one object over the open
// pendant, the record and the person; the waits and their endings
// (check/waits.cpp), the steps (check/steps.cpp, check/wheel.cpp) and the
// run with its summary (check/run.cpp). Not for use outside check/.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "app/reconnect.h"
#include "check/check.h"
#include "check/record.h"
#include "pendant/pendant_device.h"

namespace check_session {

inline constexpr std::size_t StepCount = 6;
inline constexpr int WheelCountsNeeded = 10;

// Whether Ctrl+C has ended the check; the handler is on from Arm to Disarm.
bool CtrlCPressed();
// Clears the flag and takes Ctrl+C; false when the platform would not.
bool Arm();
void Disarm();

// How a wait ended.
enum class WaitEnd { Done, TimedOut, Skipped, Gone, Interrupted };
// How a step's wait came out once the endings every wait settles alike were
// settled: Enter skips the step, Ctrl+C ends the check, the pendant going
// fails the step.
enum class Came { Done, TimedOut, Settled };
// A y/n question's outcome; TimedOut has failed the step already.
enum class Reply { Yes, No, TimedOut, Settled };
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
    // Turns until done() says so after a report (or at once when it already
    // does), the time-out, an Enter, Ctrl+C, or the pendant going away.
    WaitEnd Wait(CheckPrompt prompt, Takes takes, const std::function<bool()>& done);
    // Wait, with the common endings settled for step.
    Came Await(CheckStep& step, CheckPrompt prompt, Takes takes, const std::function<bool()>& done);
    // Asks y or n; on a time-out says "  -> unanswered within S s" and fails
    // the step for why.
    Reply Ask(CheckStep& step, CheckPrompt prompt, const std::string& unanswered,
              const std::string& why);
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
    bool Ended(CheckStep& step, WaitEnd end);
    void Timeout(CheckStep& step, const std::string& what);
    double Seconds() const { return static_cast<double>(options_.stepTimeoutMs) / 1000.0; }

    // Marks the step SKIPPED for why and says so; false, for the callers'
    // "go on" answers below.
    bool Skip(CheckStep& step, const std::string& why);
    // Whether the step can run: with a pipe to read; with a person to do
    // what (with --no-person the step is skipped).
    bool Readable(CheckStep& step);
    bool Person(CheckStep& step, const char* what);
    // Sets the display to these values, dirty only when they differ.
    void Show(const protocol::DisplayValues& v);
    void Connection();
    void Display();
    void Axis();
    void Wheel();
    void Unplug();
    void Rules();

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
    // Every report read, by its first byte (the id) and its length: the
    // rules judge them against what the descriptor declares.
    std::map<std::pair<UCHAR, ULONG>, unsigned> reportLengths_;
    // The pattern the person is judging: a wheel turned meanwhile moves the
    // display, so the pattern is put back after every report.
    const protocol::DisplayValues* holding_ = nullptr;
};

// The USB and HID rules, in order, none judged yet.
std::vector<CheckRule> FreshRules();
// A rule's line, as the step and the summary print it.
void PrintRule(const CheckRule& rule);

// What the pendant is sent for its values, decoded as its display shows it.
protocol::DecodedDisplay SentDisplay(const PendantDevice& device);
// The survey's figures of an open pendant, for the record and the
// connection step.
std::vector<Figure> PipeFigures(const PendantDevice& device);

} // namespace check_session
