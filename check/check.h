// pendant-test --check: a guided acceptance test of a pendant. Step by step
// the person at the pendant is told what to do and what the tool saw; the
// check ends with a summary, a verdict, an exit status and (on request) a
// JSON record of it all.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>

#include "protocol/display.h"
#include "usb/winapi.h"

struct PendantDevice;

// Exit statuses of the check.
inline constexpr int CheckPassed = 0;        // every step that ran passed
inline constexpr int CheckFailed = 1;        // a step failed
inline constexpr int CheckNotOpened = 2;     // no pendant, or the command line is wrong
inline constexpr int CheckInterrupted = 130; // ended by Ctrl+C: no verdict (128 + SIGINT)

inline constexpr DWORD DefaultStepTimeoutMs = 30000;

struct CheckOptions {
    // Each wait of a step (an answer, a position, a turn, an unplug) ends
    // unanswered after this long.
    DWORD stepTimeoutMs = DefaultStepTimeoutMs;
    // Where the JSON record goes; "" for none.
    std::string reportPath;
    // --no-person: the steps that need a person's answer or hands (the
    // display's y/n, the unplug) are SKIPPED; the rest is judged from the
    // reports alone, for a bench where a fixture turns the selector and
    // the wheel.
    bool person = true;
    // --hid: the pendant on the system's HID driver (app/options.h).
    bool hid = false;
};

// The display's test patterns: together they light every place of every
// value (the second differs from the first in each digit and in the sign).
inline constexpr int CheckPatternCount = 2;
extern const protocol::DisplayValues CheckPatterns[CheckPatternCount];

// Where the check stands: what it is waiting for.
enum class CheckPrompt {
    None,          // between waits (opening, judging, the summary)
    Pattern1,      // y/n: does the display show the first pattern
    Pattern2,      // y/n: ... the second pattern
    AxisOff,       // the selector to off
    Axis1,         // the selector to 1
    Axis2,         // ... 2
    Axis3,         // ... 3
    WheelForward,  // the wheel forward on the selected axis
    WheelBackward, // the wheel backward
    WheelDisplay,  // y/n: does the display show the coordinate the counts add up to
    Unplug,        // unplug the pendant (Enter skips)
    PlugIn,        // plug it in again (also after it went away mid-step); keep it last
};
// The prompts there are, None apart: 1 to CheckPromptCount - 1.
inline constexpr int CheckPromptCount = static_cast<int>(CheckPrompt::PlugIn) + 1;
const char* CheckPromptName(CheckPrompt prompt); // "pattern-1", "axis-off", ...

// The person at the pendant, as the check sees them.
struct CheckPerson {
    // A line typed since the last call, without its line feed: true and the
    // line, or false when none is waiting. Never waits.
    std::function<bool(std::string& line)> takeLine;
    // Called before every turn of the check with what it waits for; a
    // scripted person answers and turns the pendant's controls here.
    // May be empty.
    std::function<void(PendantDevice& device, CheckPrompt prompt)> beforeTurn;
};

// Takes the check's options from a command line (--step-timeout S,
// --report FILE, --no-person; the rest is not the check's): "" or why they
// cannot be taken.
std::string ParseCheckOptions(int argc, const char* const* argv, CheckOptions& options);

// pendant-test --check: the options taken (wrong ones said on standard error,
// exit CheckNotOpened before the pendant is touched) and the check run with
// the person at the console reading in.
int RunCheckCommand(int argc, const char* const* argv, std::istream& in);

// Opens the pendant as the tool does (the same survey), runs the steps and
// prints the summary and verdict; writes the record when asked. Returns one
// of the exit statuses above. Ctrl+C (SetConsoleCtrlHandler) ends the check
// with the summary so far, the pendant closed (given back to its driver).
int RunCheck(const CheckOptions& options, const CheckPerson& person);

// The person of the real tool: the lines of in, read on a thread of their
// own so that no wait of the check blocks on the keyboard. The thread may
// outlive the check, so in must live as long as the program (std::cin).
CheckPerson PersonAtConsole(std::istream& in);
