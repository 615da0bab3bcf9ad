#include "sim/interactive.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <curses.h>
#include <sstream>
#include <unistd.h>

#include "app/entry.h"
#include "backends/virtual/virtual_pendant.h"
#include "pendant/pendant_device.h"
#include "sim/parse.h"
#include "sim/screen.h"
#include "sim/script.h"
#include "sim/script_runner.h"
#include "sim/tool_output.h"

namespace sim {

namespace {

namespace vp = virtual_pendant;

constexpr int CtrlC = 3;
constexpr int Escape = 27;
constexpr std::size_t EditMax = 200;

class Session {
  public:
    explicit Session(ToolOutput& output) : output_(output) {
        vp::OnFrame([this](const vp::ReceivedFrame& frame) {
            ++screen_.frames;
            screen_.haveFrame = true;
            screen_.display = frame.display;
            screen_.frame = frame.bytes;
            screen_.problem = frame.problem;
        });
        screen_.message =
            "Select an axis (1, 2, 3), turn the wheel (+/-); \":set1 1 2.5\" sets a value.";
    }
    ~Session() { vp::OnFrame({}); }

    // Before every turn of the tool's loop.
    bool Turn(PendantDevice& device) {
        if (!started_) {
            started_ = true;
            // A fresh record is not dirty; store a value anew so the tool
            // sends its first frame and the display lights up.
            device.SetDisplayWord0(device.DisplayWord[0]);
        }
        screen_.AddOutput(output_.Take());
        for (int ch = getch(); ch != ERR; ch = getch())
            if (!Key(ch, device))
                return false;
        screen_.queued = vp::PendingInput();
        Draw();
        return true;
    }

    bool Started() const { return started_; }

  private:
    bool Key(int ch, PendantDevice& device) {
        if (ch == KEY_RESIZE) {
            clearok(curscr, TRUE);
            return true;
        }
        if (screen_.editing)
            return Edit(ch, device);
        switch (ch) {
        case 'q':
        case 'Q':
        case CtrlC:
            return false;
        case '0':
        case 'n':
        case '1':
        case '2':
        case '3':
            screen_.axis = ch == 'n' ? 0 : ch - '0';
            screen_.message = screen_.axis == 0 ? "Axis selector off: the wheel moves nothing."
                                                : "Axis " + std::to_string(screen_.axis) +
                                                      " selected: the wheel moves its set 2 value.";
            break;
        case '+':
        case '=':
        case KEY_RIGHT:
            Wheel(1);
            break;
        case '-':
        case KEY_LEFT:
            Wheel(-1);
            break;
        case '>':
        case KEY_UP:
        case KEY_PPAGE:
            Wheel(screen_.bigStep);
            break;
        case '<':
        case KEY_DOWN:
        case KEY_NPAGE:
            Wheel(-screen_.bigStep);
            break;
        case 's':
            StartEdit("big step (1 to 31): ");
            break;
        case ':':
            StartEdit("command: ");
            break;
        case 'u':
            Unplug();
            break;
        case 'r':
            Replug();
            break;
        default:
            break;
        }
        return true;
    }

    void Wheel(int counts) {
        if (screen_.link != Link::Plugged) {
            screen_.message = "The pendant is not connected to the tool: the counts go nowhere.";
            return;
        }
        const std::uint8_t code =
            screen_.axis == 0 ? 0x00 : static_cast<std::uint8_t>(0x10 + screen_.axis);
        vp::QueueReport(
            {0x04, 0x00, 0x00, code, static_cast<std::uint8_t>(counts & 0xFF), 0x00, 0x00, 0x00});
        screen_.message = "Wheel " + std::string(counts > 0 ? "+" : "") + std::to_string(counts) +
                          (screen_.axis == 0 ? " with no axis selected."
                                             : " on axis " + std::to_string(screen_.axis) + ".");
    }

    void Unplug() {
        if (screen_.link == Link::Unplugged)
            return;
        vp::Unplug();
        screen_.link = Link::Unplugged;
        screen_.haveFrame = false;
        screen_.message = "Unplugged: the tool's reads and transfers fail from now on.";
    }

    void Replug() {
        if (screen_.link != Link::Unplugged)
            return;
        vp::Replug();
        screen_.link = Link::Replugged;
        screen_.message =
            "Replugged. The tool does not reopen it: restart pendant-sim to reconnect.";
    }

    void StartEdit(const std::string& label) {
        screen_.editing = true;
        screen_.editLabel = label;
        screen_.editText.clear();
    }

    bool Edit(int ch, PendantDevice& device) {
        if (ch == Escape || ch == CtrlC) {
            screen_.editing = false;
            screen_.message = "Cancelled.";
        } else if (ch == '\n' || ch == '\r' || ch == KEY_ENTER) {
            screen_.editing = false;
            if (screen_.editLabel.rfind("big step", 0) == 0)
                SetBigStep(screen_.editText);
            else
                Command(screen_.editText, device);
        } else if (ch == KEY_BACKSPACE || ch == 127 || ch == 8) {
            if (!screen_.editText.empty())
                screen_.editText.pop_back();
        } else if (ch >= 0x20 && ch < 0x7F && screen_.editText.size() < EditMax) {
            screen_.editText += static_cast<char>(ch);
        }
        return true;
    }

    void SetBigStep(const std::string& text) {
        unsigned long long n = 0;
        if (!ParseUnsigned(text, 31, n) || n == 0) {
            screen_.message = "The wheel sends 1 to 31 counts at a time; big step stays " +
                              std::to_string(screen_.bigStep) + ".";
            return;
        }
        screen_.bigStep = static_cast<int>(n);
        screen_.message = "Big step: " + std::to_string(n) + " counts.";
    }

    void Command(const std::string& text, PendantDevice& device) {
        Step step;
        bool has = false;
        const std::string problem = ParseLine(text, 0, step, has);
        if (!problem.empty()) {
            screen_.message = "Error: " + problem;
            return;
        }
        if (!has)
            return;
        if (IsSetup(step.op) || step.op == Op::Turns) {
            screen_.message = "That is for scripts: here the tool is open and turning already.";
            return;
        }
        if (step.op == Op::Unplug) {
            Unplug();
            return;
        }
        if (step.op == Op::Replug) {
            Replug();
            return;
        }
        ApplyStep(step, device);
        screen_.message = "Done: " + text;
    }

    void Draw() {
        const Rendered r = Render(screen_, COLS, LINES);
        erase();
        for (std::size_t i = 0; i < r.lines.size(); ++i) {
            const int row = static_cast<int>(i);
            const bool strong = row == r.selectedRow || row == r.titleRow;
            if (strong)
                attron(row == r.selectedRow ? A_REVERSE : A_BOLD);
            mvaddnstr(row, 0, r.lines[i].c_str(), COLS);
            if (strong)
                attroff(A_REVERSE | A_BOLD);
        }
        if (r.cursorRow >= 0) {
            curs_set(1);
            move(r.cursorRow, r.cursorCol);
        } else {
            curs_set(0);
        }
        refresh();
    }

    ToolOutput& output_;
    Screen screen_;
    bool started_ = false;
};

} // namespace

int RunInteractive() {
    ToolOutput output;
    if (!output.Problem().empty()) {
        std::fprintf(stderr, "pendant-sim: %s\n", output.Problem().c_str());
        return -1;
    }
    // The screen goes to the terminal itself; the tool's standard output
    // now goes to the pane.
    const int terminalFd = dup(output.OriginalFd());
    FILE* terminal = terminalFd >= 0 ? fdopen(terminalFd, "w") : nullptr;
    SCREEN* screen = terminal != nullptr ? newterm(nullptr, terminal, stdin) : nullptr;
    if (screen == nullptr) {
        if (terminal != nullptr)
            std::fclose(terminal);
        return -1;
    }
    set_term(screen);
    raw();
    noecho();
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);

    vp::Reset();
    // An afternoon at the keyboard must not keep every call it made.
    vp::KeepHistory(false);
    vp::SetRealTime(true);
    int status = 0;
    bool started = false;
    {
        Session session(output);
        std::istringstream noInput;
        status =
            RunTool(noInput, [&session](PendantDevice& device) { return session.Turn(device); });
        started = session.Started();
    }
    vp::SetRealTime(false);
    endwin();
    delscreen(screen);
    std::fclose(terminal);

    // The tool could not open the pendant: show what it said, in plain lines.
    const std::string said = output.Take();
    if (!started && !said.empty() &&
        write(output.OriginalFd(), said.data(), said.size()) != static_cast<ssize_t>(said.size()))
        std::fprintf(stderr, "pendant-sim: cannot write the output: %s\n", std::strerror(errno));
    if (!output.Lost().empty()) {
        std::fprintf(stderr, "pendant-sim: %s\n", output.Lost().c_str());
        return status == 0 ? 1 : status;
    }
    return status;
}

} // namespace sim
