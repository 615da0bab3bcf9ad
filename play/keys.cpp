#include "play/keys.h"

#include <curses.h>

#include "play/parse.h"

namespace play {

namespace {

constexpr int CtrlC = 3;
constexpr int Escape = 27;
constexpr std::size_t EditMax = 200;
constexpr const char* BigStepLabel = "big step (1 to 31): ";

void StartEdit(Screen& screen, const std::string& label) {
    screen.editing = true;
    screen.editLabel = label;
    screen.editText.clear();
}

void SetBigStep(Screen& screen, const std::string& text) {
    unsigned long long n = 0;
    if (!ParseUnsigned(text, 31, n) || n == 0) {
        screen.message = "The wheel sends 1 to 31 counts at a time; big step stays " +
                         std::to_string(screen.bigStep) + ".";
        return;
    }
    screen.bigStep = static_cast<int>(n);
    screen.message = "Big step: " + std::to_string(n) + " counts.";
}

// Commands that wait or run the tool: a script's business, not the screen's.
bool ScriptOnly(Op op, Dialect dialect) {
    if (dialect == Dialect::Sim)
        return IsSetup(op) || op == Op::Turns;
    return op == Op::WaitRead || op == Op::WaitFrames || op == Op::Burst || op == Op::Timed;
}

KeyResult Command(Screen& screen, const std::string& text, Dialect dialect) {
    KeyResult result;
    bool has = false;
    const std::string problem = ParseLine(text, 0, result.step, has, dialect);
    if (!problem.empty()) {
        screen.message = "Error: " + problem;
        return {};
    }
    if (!has)
        return {};
    if (IsPersonStep(result.step.op)) {
        screen.message = "That is for pendant-sim --check scripts: here no check asks anything.";
        return {};
    }
    if (ScriptOnly(result.step.op, dialect)) {
        screen.message = dialect == Dialect::Sim
                             ? "That is for scripts: here the tool is open and turning already."
                             : "That is for scripts: here it would freeze the screen.";
        return {};
    }
    if (result.step.op == Op::Unplug || result.step.op == Op::Replug) {
        result.what = result.step.op == Op::Unplug ? KeyDo::Unplug : KeyDo::Replug;
        return result;
    }
    result.what = KeyDo::Command;
    result.text = text;
    return result;
}

KeyResult Edit(int ch, Screen& screen, Dialect dialect) {
    if (ch == Escape || ch == CtrlC) {
        screen.editing = false;
        screen.message = "Cancelled.";
    } else if (ch == '\n' || ch == '\r' || ch == KEY_ENTER) {
        screen.editing = false;
        if (screen.editLabel == BigStepLabel)
            SetBigStep(screen, screen.editText);
        else
            return Command(screen, screen.editText, dialect);
    } else if (ch == KEY_BACKSPACE || ch == 127 || ch == 8) {
        if (!screen.editText.empty())
            screen.editText.pop_back();
    } else if (ch >= 0x20 && ch < 0x7F && screen.editText.size() < EditMax) {
        screen.editText += static_cast<char>(ch);
    }
    return {};
}

KeyResult Just(KeyDo what, int counts = 0) {
    KeyResult result;
    result.what = what;
    result.counts = counts;
    return result;
}

} // namespace

std::string WheelMessage(int counts, int axis) {
    return "Wheel " + std::string(counts > 0 ? "+" : "") + std::to_string(counts) +
           (axis == 0 ? " with no axis selected." : " on axis " + std::to_string(axis) + ".");
}

KeyResult HandleKey(int ch, Screen& screen, Dialect dialect) {
    if (ch == KEY_RESIZE)
        return Just(KeyDo::Redraw);
    if (screen.editing)
        return Edit(ch, screen, dialect);
    switch (ch) {
    case 'q':
    case 'Q':
    case CtrlC:
        return Just(KeyDo::Quit);
    case '0':
    case 'n':
    case '1':
    case '2':
    case '3':
        screen.axis = ch == 'n' ? 0 : ch - '0';
        screen.message = screen.axis == 0 ? "Axis selector off: the wheel moves nothing."
                                          : "Axis " + std::to_string(screen.axis) +
                                                " selected: the wheel moves its set 2 value.";
        return {};
    case '+':
    case '=':
    case KEY_RIGHT:
        return Just(KeyDo::Wheel, 1);
    case '-':
    case KEY_LEFT:
        return Just(KeyDo::Wheel, -1);
    case '>':
    case KEY_UP:
    case KEY_PPAGE:
        return Just(KeyDo::Wheel, screen.bigStep);
    case '<':
    case KEY_DOWN:
    case KEY_NPAGE:
        return Just(KeyDo::Wheel, -screen.bigStep);
    case 's':
        StartEdit(screen, BigStepLabel);
        return {};
    case ':':
        StartEdit(screen, "command: ");
        return {};
    case 'u':
        return Just(KeyDo::Unplug);
    case 'r':
        return Just(KeyDo::Replug);
    default:
        return {};
    }
}

} // namespace play
