// What the interactive screen shows, as text: kept apart from the terminal
// library so that a test (or the docs) can look at exactly what is drawn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "protocol/display.h"

namespace play {

enum class Link {
    Plugged,   // the tool's handles reach the pendant
    Unplugged, // pulled out: the display is dark, the tool's calls fail
    Replugged, // back in, but the tool holds the handles of before: they stay dead
};

struct Screen {
    // Who draws the screen (pendant-sim, pendant-gadget) and what its pane
    // shows: the tool's output, or what the host did.
    std::string program = "pendant-sim";
    std::string title = "a virtual pendant";
    std::string paneLabel = "tool output";

    // The display, as decoded from the last frame the pendant received.
    bool haveFrame = false;
    protocol::DecodedDisplay display;
    std::vector<std::uint8_t> frame;
    std::string problem;
    unsigned frames = 0;

    int axis = 0; // the pendant's axis selector: 1..3, or 0 for none
    int bigStep = 10;
    Link link = Link::Plugged;
    std::size_t queued = 0;

    std::string message; // the latest thing the simulator has to say
    bool editing = false;
    std::string editLabel;
    std::string editText;

    // The pane's text, in lines; the last one may still be open.
    std::deque<std::string> output{std::string()};
    void AddOutput(const std::string& text);
};

struct Rendered {
    std::vector<std::string> lines; // as many as the height, none wider than the width
    int selectedRow = -1;           // the row of the selected axis, to highlight
    int titleRow = 0;
    int cursorRow = -1; // where the cursor goes while a line is being typed
    int cursorCol = -1;
};

Rendered Render(const Screen& screen, int width, int height);

// Lines of the tool's output kept for the pane.
inline constexpr std::size_t OutputLinesKept = 500;

} // namespace play
