#include "sim/check_runner.h"

#include <cstdint>
#include <deque>

#include "backends/virtual/virtual_pendant.h"
#include "check/scripted_person.h"
#include "pendant/pendant_device.h"
#include "sim/script_runner.h"
#include "sim/virtual_port.h"

namespace sim {

namespace vp = virtual_pendant;

namespace {

// The person of a good pendant: what each prompt asks, once it is asked.
constexpr const char* GoodDemo = R"(# A good pendant, and a person who does what each prompt asks.
await pattern-1
answer y
await pattern-2
answer y
await axis-off
jog 0 0
await axis-1
jog 1 0
await axis-2
jog 2 0
await axis-3
jog 3 0
await wheel-forward
jog 3 5
jog 3 7
await wheel-backward
jog 3 -6
jog 3 -6
await wheel-display
answer y
await unplug
unplug
await plug-in
replug
)";

// The same person at a pendant with two faults: its display does not show
// the second pattern, and its wheel sends no count when turned backward.
constexpr const char* FaultyDemo =
    R"(# A pendant whose display is wrong and whose wheel never turns backward.
await pattern-1
answer y
await pattern-2
answer n              # the display does not show the second pattern
await axis-off
jog 0 0
await axis-1
jog 1 0
await axis-2
jog 2 0
await axis-3
jog 3 0
await wheel-forward
jog 3 5
jog 3 7
await wheel-backward
jog 3 0               # turned backward, the wheel's reports carry no count
jog 3 0
await unplug
unplug
await plug-in
replug
)";

// The prompts the check has, by the names it gives them; the check's own
// list, so that a prompt added there is one a script may await.
// Every prompt's name, comma-separated; whether name is one of them.
std::string PromptNames() {
    std::string names;
    for (int p = 1; p < CheckPromptCount; ++p)
        names +=
            (names.empty() ? "" : ", ") + std::string(CheckPromptName(static_cast<CheckPrompt>(p)));
    return names;
}

bool IsPromptName(const std::string& name) {
    for (int p = 1; p < CheckPromptCount; ++p)
        if (name == CheckPromptName(static_cast<CheckPrompt>(p)))
            return true;
    return false;
}

std::string Plural(std::size_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// Plays the running steps from the check's beforeTurn; the person types
// the answers.
class ScriptPlayer {
  public:
    ScriptPlayer(const play::Script& script, std::size_t first, Interleaver& out)
        : script_(script), next_(first), out_(out) {}

    CheckPerson Person() {
        return person_.Person(
            [this](PendantDevice& device, CheckPrompt prompt) { BeforeTurn(device, prompt); });
    }

    unsigned Turns() const { return turns_; }
    CheckPrompt LastPrompt() const { return last_; }
    std::size_t Next() const { return next_; }

  private:
    void BeforeTurn(PendantDevice& device, CheckPrompt prompt) {
        out_.Pass();
        ++turns_;
        last_ = prompt;
        if (idleTurns_ > 0) {
            --idleTurns_;
            return;
        }
        while (next_ < script_.steps.size()) {
            const play::Step& step = script_.steps[next_];
            if (step.op == play::Op::Await && step.text != CheckPromptName(prompt) &&
                !PassOver(prompt))
                return; // the check turns on until it asks for it
            ++next_;
            switch (step.op) {
            case play::Op::Await:
                break;
            case play::Op::Answer:
                person_.Type(step.text);
                break;
            case play::Op::Turns:
                // This turn is the first of them.
                idleTurns_ = step.count - 1;
                return;
            default:
                PlayStep(step, device, port_, out_);
                break;
            }
        }
    }

    // The check went on past what the script awaits (a step skipped, or
    // left out by --no-person, or ended by its time-out) and asks for what
    // a later await names: the person follows the check there, as one would
    // follow printed instructions. True when the script moved on to it.
    bool PassOver(CheckPrompt prompt) {
        // Asked once per prompt and place: a wait turns many times.
        if (searchedAt_ == next_ && searchedFor_ == prompt)
            return false;
        searchedAt_ = next_;
        searchedFor_ = prompt;
        const std::string name = CheckPromptName(prompt);
        for (std::size_t j = next_ + 1; j < script_.steps.size(); ++j) {
            const play::Step& later = script_.steps[j];
            if (later.op != play::Op::Await || later.text != name)
                continue;
            const play::Step& awaited = script_.steps[next_];
            out_.Line("[sim] line " + std::to_string(awaited.line) + ": the check asks for " +
                      name + " instead of " + awaited.text + "; on at line " +
                      std::to_string(later.line) + " (" + Plural(j - next_, "step") +
                      " passed over)");
            next_ = j;
            return true;
        }
        return false;
    }

    const play::PendantPort port_ = VirtualPendantPort();
    const play::Script& script_;
    std::size_t next_;
    Interleaver& out_;
    ::ScriptedPerson person_;
    std::size_t searchedAt_ = SIZE_MAX;
    CheckPrompt searchedFor_ = CheckPrompt::None;
    unsigned idleTurns_ = 0;
    unsigned turns_ = 0;
    CheckPrompt last_ = CheckPrompt::None;
};

} // namespace

const char* CheckDemoScript(CheckDemo demo) {
    return demo == CheckDemo::Good ? GoodDemo : FaultyDemo;
}

std::string CheckScriptProblem(const play::Script& script) {
    for (const play::Step& step : script.steps)
        if (step.op == play::Op::Await && !IsPromptName(step.text))
            return std::to_string(step.line) + ": the check has no prompt \"" + step.text +
                   "\" (it has " + PromptNames() + "); usage: await PROMPT";
    return "";
}

CheckRun RunCheckScript(const play::Script& script, const CheckOptions& options, Interleaver& out) {
    // Everything before the first running step happens before the check
    // opens the pendant.
    const std::size_t first = PrepareDevice(script);
    unsigned frames = 0;
    vp::OnFrame([&](const vp::ReceivedFrame& frame) { out.Line(DescribeFrame(++frames, frame)); });
    ScriptPlayer person(script, first, out);
    CheckRun run;
    run.status = RunCheck(options, person.Person());
    vp::OnFrame({});

    std::size_t notRun = 0;
    for (std::size_t i = person.Next(); i < script.steps.size(); ++i) {
        const play::Step& step = script.steps[i];
        // Without a person the check asks none of the person's questions,
        // so it may end before the last of them: not the script's fault.
        if (step.op == play::Op::Await && run.problem.empty() && options.person)
            run.problem = std::to_string(step.line) + ": the check ended without asking for " +
                          step.text +
                          (person.LastPrompt() == CheckPrompt::None
                               ? std::string(" (it asked for nothing)")
                               : std::string(" (the last it asked for: ") +
                                     CheckPromptName(person.LastPrompt()) + ")");
        ++notRun;
    }
    std::string summary = "[sim] check returned " + std::to_string(run.status) + " after " +
                          Plural(person.Turns(), "turn") + ", " + Plural(frames, "frame");
    if (notRun != 0)
        summary += "; " + Plural(notRun, "step") + " not run (the check ended first)";
    out.Line(summary);
    return run;
}

} // namespace sim
