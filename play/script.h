// The script language of pendant-sim and pendant-gadget: one command a line,
// describing the pendant, what it sends, what fails, and when the tool turns
// (pendant-sim), or what the gadget sends and what it waits for
// (pendant-gadget). One parser for both: each program refuses the commands
// that make no sense for it, saying why. docs/sim.md and docs/gadget.md are
// the references for users; the command table (play/commands.h) gives the
// short forms.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "play/platform_call.h"
#include "protocol/display.h"

namespace play {

// One endpoint of the pendant's interface as a script gives it: its type,
// numbered as USB numbers them, its id (0x81: IN endpoint 1) and its
// largest packet.
enum class PipeType : std::uint8_t { Control, Isochronous, Bulk, Interrupt };
struct Pipe {
    PipeType type = PipeType::Control;
    std::uint8_t id = 0;
    std::uint16_t maxPacket = 0;
    std::uint8_t interval = 1; // bInterval
};

// The error a failed call leaves when the script names none: the platform's
// ERROR_GEN_FAILURE (pendant-sim holds the two together).
inline constexpr std::uint32_t DefaultFailError = 31;
// What descriptor and interface take: a whole USB device descriptor, a whole
// interface descriptor.
inline constexpr std::size_t DeviceDescriptorBytes = 18;
inline constexpr std::size_t InterfaceDescriptorBytes = 9;

enum class Op {
    // Describe the device; only before the first step that runs the tool.
    Device,           // present / absent
    Path,             // device path
    Descriptor,       // 18-byte device descriptor
    Interface,        // 9-byte interface descriptor
    Pipes,            // the interface's endpoints
    ReportSize,       // the input report's size, as the report descriptor declares it
    ReportDescriptor, // the report descriptor, byte by byte
    HidLength,        // the report descriptor's length as the HID descriptor declares it
    Speed,            // the speed the host says it runs at
    Unanswered,       // class requests left to time out
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
    Zlp, // whether a zero-length packet follows a report that fills its last packet
    // pendant-sim --check only: what the person at the check does.
    Await,  // until the check waits for a prompt
    Answer, // a line typed at the check: y, n or Enter
    // pendant-gadget only.
    WaitRead,   // until the host has read every queued report
    WaitFrames, // until the host has sent N frames in all
    Stall,      // halt the IN endpoint
    Unstall,    // clear the halt
    Burst,      // N random jog reports as fast as the host reads them
    Timed,      // N random jog reports, each timed to the frame it causes
    Quiet,      // leave out (or log again) the per-transfer log lines
    Stats,      // one line of counters
};

// Which program reads the script.
enum class Dialect { Sim, Gadget };

struct Step {
    int line = 0;
    Op op = Op::Turns;
    bool present = true;             // Device
    std::string text;                // Path; Await: the prompt; Answer: the line
    std::vector<std::uint8_t> bytes; // Descriptor, Interface, Report, Jog
    std::vector<Pipe> pipes;         // Pipes
    Call call = Call::GetLastError;  // Fail: the call that fails
    unsigned nth = 1;                // Fail: the nth call from this step on
    std::uint32_t error = 0;         // Fail
    bool sticky = false;             // Fail
    int index = 0;                   // Set1/Set2: axis 0..2; Word: 0..3
    float value = 0;                 // Set1/Set2
    std::uint16_t word = 0;          // Word
    protocol::DisplayValues display; // Display
    unsigned count = 1;              // Timeout, Turns; WaitFrames, Burst, Timed: N
    unsigned seconds = 10;           // WaitRead, WaitFrames: how long at most
    unsigned seed = 0;               // Burst, Timed
    bool on = false;                 // Quiet, Zlp
    bool raw = false;                // Report: sent whatever its length
    std::uint8_t speed = 0;          // Speed: 1 low, 2 full, 3 high; 0 not said
};

// True for the commands that describe the device before the tool opens it.
bool IsSetup(Op op);
// True for what the person at pendant-sim --check does (await, answer):
// without a check there is nothing to wait for or to answer.
bool IsPersonStep(Op op);

// Parses one line. Returns "" and sets has (false for a blank or comment
// line), or says what is wrong with the line.
std::string ParseLine(std::string_view line, int lineNo, Step& step, bool& has,
                      Dialect dialect = Dialect::Sim);

struct Script {
    std::vector<Step> steps;
};
struct ScriptError {
    int line = 0;
    std::string message;
};
// Reads a whole script; stops at the first bad line. A report of another
// size than the pendant's input report (reportBytes, or what a report-size
// line before it says) is a bad line, unless it is sent --raw.
bool ParseScript(std::istream& in, Script& script, ScriptError& error,
                 Dialect dialect = Dialect::Sim, std::size_t reportBytes = DefaultInputReportBytes);

// "" when the step may go to a pendant whose input report is reportBytes
// long (0: any length), else why not. The wheel's report (jog) is made to
// that size by the port.
std::string ReportSizeProblem(const Step& step, std::size_t reportBytes);

// The wheel's input report for axis 0..3 (0: none selected) and count, as
// the bytes a step or a key queues.
std::vector<std::uint8_t> WheelBytes(int axis, int count);

// Reads and parses the script file name ("-": standard input) in the
// program's dialect. False with problem set when the file cannot be read,
// is a directory, or has a bad line ("FILE:LINE: what is wrong").
bool LoadScript(const std::string& name, Dialect dialect, Script& script, std::string& problem,
                std::size_t reportBytes = DefaultInputReportBytes);

} // namespace play
