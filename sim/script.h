// The script language of pendant-sim: one command a line, describing the
// virtual pendant, what it sends, what fails, and when the tool turns.
// docs/sim.md is the reference for users; ScriptSummary is the short form.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "backends/virtual/virtual_pendant.h"
#include "sim/decode.h"

namespace sim {

enum class Op {
    // Describe the device; only before the first step that runs the tool.
    Device,     // present / absent
    Path,       // device path
    Descriptor, // 18-byte device descriptor
    Interface,  // 9-byte interface descriptor
    Pipes,      // the interface's endpoints
    // Anywhere.
    Fail,
    // Run the tool.
    Set1,
    Set2,
    Word,
    Display,
    Report,
    Jog,
    Timeout,
    Turns,
    Unplug,
    Replug,
};

struct Step {
    int line = 0;
    Op op = Op::Turns;
    bool present = true;                      // Device
    std::string text;                         // Path
    std::vector<std::uint8_t> bytes;          // Descriptor, Interface, Report, Jog
    std::vector<virtual_pendant::Pipe> pipes; // Pipes
    virtual_pendant::Call call = virtual_pendant::Call::GetLastError; // Fail
    unsigned nth = 1;       // Fail: the nth call from this step on
    DWORD error = 0;        // Fail
    bool sticky = false;    // Fail
    int index = 0;          // Set1/Set2: axis 0..2; Word: 0..3
    float value = 0;        // Set1/Set2
    std::uint16_t word = 0; // Word
    DisplayValues display;  // Display
    unsigned count = 1;     // Timeout, Turns
};

// True for the commands that describe the device before the tool opens it.
bool IsSetup(Op op);

// Parses one line. Returns "" and sets has (false for a blank or comment
// line), or says what is wrong with the line.
std::string ParseLine(std::string_view line, int lineNo, Step& step, bool& has);

struct Script {
    std::vector<Step> steps;
};
struct ScriptError {
    int line = 0;
    std::string message;
};
// Reads a whole script; stops at the first bad line.
bool ParseScript(std::istream& in, Script& script, ScriptError& error);

// The command summary that pendant-sim --commands prints.
extern const char* const ScriptSummary;

} // namespace sim
