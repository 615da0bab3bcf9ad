#include "play/screen.h"

#include <cstdio>

#include "play/parse.h"
#include "protocol/hex.h"

namespace play {

namespace {

std::string Value(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.4f", value);
    return text;
}

std::string PadLeft(const std::string& s, std::size_t width) {
    return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

std::string PadRight(const std::string& s, std::size_t width) {
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

// A line of the box around the display: "| text ... |" at the given width.
std::string BoxLine(const std::string& text, int width) {
    if (width < 4)
        return text;
    return "|" + PadRight(" " + text, static_cast<std::size_t>(width - 2)) + "|";
}

std::string Rule(const std::string& label, int width, char corner) {
    std::string line(1, corner);
    line += "- " + label + " ";
    if (static_cast<int>(line.size()) < width - 1)
        line += std::string(static_cast<std::size_t>(width - 1) - line.size(), '-');
    line += corner;
    return line;
}

const char* LinkText(Link link) {
    switch (link) {
    case Link::Plugged:
        return "plugged";
    case Link::Unplugged:
        return "UNPLUGGED";
    case Link::Replugged:
        return "replugged, not reopened";
    }
    return "?";
}

} // namespace

void Screen::AddOutput(const std::string& text) {
    for (char c : text) {
        if (c == '\n') {
            output.emplace_back();
            continue;
        }
        // The survey prints some pipe ids as raw characters; keep the pane
        // to what a terminal shows as one cell.
        const auto u = static_cast<unsigned char>(c);
        output.back() += (u >= 0x20 && u < 0x7F) ? c : '?';
    }
    while (output.size() > OutputLinesKept)
        output.pop_front();
}

Rendered Render(const Screen& s, int width, int height) {
    const int boxWidth = width < 80 ? width : 80;
    Rendered r;
    std::vector<std::string>& out = r.lines;

    const std::string status = std::string("pendant: ") + LinkText(s.link) +
                               "   frames: " + std::to_string(s.frames) + " ";
    std::string title = " " + s.program + ": " + s.title;
    if (static_cast<int>(title.size() + status.size()) < width)
        title += std::string(static_cast<std::size_t>(width) - title.size() - status.size(), ' ');
    else
        title += "   ";
    out.push_back(title + status);

    out.push_back(Rule("pendant display", boxWidth, '+'));
    out.push_back(
        BoxLine(PadRight("", 14) + PadLeft("set 1", 12) + PadLeft("set 2", 14), boxWidth));
    if (s.haveFrame && s.link == Link::Plugged) {
        for (int k = 0; k < 3; ++k) {
            const bool selected = s.axis == k + 1;
            if (selected)
                r.selectedRow = static_cast<int>(out.size());
            std::string row = selected ? "> " : "  ";
            row += "axis " + std::to_string(k + 1) + "      ";
            row += PadLeft(Value(s.display.CoordSet1[k]), 12);
            row += PadLeft(Value(s.display.CoordSet2[k]), 14);
            if (selected)
                row += "   <- wheel";
            out.push_back(BoxLine(row, boxWidth));
        }
        std::string words = "  words  ";
        for (int j = 0; j < 4; ++j)
            words += PadLeft(std::to_string(s.display.DisplayWord[j]), 8);
        out.push_back(BoxLine(words, boxWidth));
    } else {
        std::string why = "  (no frame received yet)";
        if (s.link == Link::Unplugged)
            why = "  (unplugged: the display is dark)";
        else if (s.link == Link::Replugged)
            why = "  (replugged: the tool never reopens the pendant, so no frame comes)";
        out.push_back(BoxLine("", boxWidth));
        out.push_back(BoxLine(why, boxWidth));
        out.push_back(BoxLine("", boxWidth));
        out.push_back(BoxLine("", boxWidth));
    }
    const std::string frameLabel =
        s.frames == 0 ? "last frame: none" : "last frame, #" + std::to_string(s.frames) + ", hex";
    out.push_back(Rule(frameLabel, boxWidth, '+'));
    if (s.frame.size() == DisplayFrameBytes) {
        out.push_back("  " + protocol::HexBytes({s.frame.data(), 24}, 8));
        out.push_back("  " + protocol::HexBytes({s.frame.data() + 24, 24}, 8));
    } else {
        out.emplace_back();
        out.emplace_back();
    }
    if (!s.problem.empty())
        out.back() = "  malformed frame: " + s.problem;

    out.push_back(
        " axis selector: " + (s.axis == 0 ? std::string("none") : std::to_string(s.axis)) +
        "   big step: " + std::to_string(s.bigStep) +
        "   queued input: " + std::to_string(s.queued));
    out.push_back(" keys: 1 2 3 axis, 0 none   +/- or Left/Right: 1 count   Up/Down: big step");
    out.push_back("       s step size   : command   u unplug   r replug   q quit");
    out.push_back(Rule(s.paneLabel, width, '-'));

    const int fixedRows = static_cast<int>(out.size()) + 1; // and the message line
    const int paneRows = height > fixedRows ? height - fixedRows : 0;
    // The open last line counts only when something is in it.
    std::size_t lines = s.output.size();
    if (lines > 0 && s.output.back().empty())
        --lines;
    const std::size_t shown =
        lines < static_cast<std::size_t>(paneRows) ? lines : static_cast<std::size_t>(paneRows);
    for (std::size_t i = lines - shown; i < lines; ++i)
        out.push_back(" " + s.output[i]);
    for (std::size_t i = shown; i < static_cast<std::size_t>(paneRows); ++i)
        out.emplace_back();

    if (s.editing) {
        r.cursorRow = static_cast<int>(out.size());
        out.push_back(" " + s.editLabel + s.editText);
        r.cursorCol = static_cast<int>(out.back().size());
    } else if (width < 80 || height < 24) {
        out.push_back(" The terminal is " + std::to_string(width) + "x" + std::to_string(height) +
                      "; " + s.program + " wants 80x24 or more.");
    } else {
        out.push_back(" " + s.message);
    }

    if (static_cast<int>(out.size()) > height)
        out.resize(height > 0 ? static_cast<std::size_t>(height) : 0);
    for (std::string& line : out)
        if (static_cast<int>(line.size()) > width)
            line.resize(width > 0 ? static_cast<std::size_t>(width) : 0);
    if (r.selectedRow >= height)
        r.selectedRow = -1;
    if (r.cursorRow >= height)
        r.cursorRow = -1;
    if (r.cursorCol >= width)
        r.cursorCol = width - 1;
    return r;
}

} // namespace play
