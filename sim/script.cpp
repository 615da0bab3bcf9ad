#include "sim/script.h"

#include "sim/script_args.h"

namespace sim {

using script_args::Quoted;
using script_args::Trim;

const char* const ScriptSummary =
    R"(device present|absent        the pendant is there to be found, or not
path TEXT                    its device path (rest of the line)
descriptor HEX               its 18-byte device descriptor
interface HEX                its 9-byte interface descriptor
pipes none|TYPE:ID[:MAX]...  its endpoints; TYPE control, iso, bulk or interrupt
fail CALL [NTH [ERROR]] [sticky]
                             the NTH call of CALL from here on fails with ERROR
set1 AXIS VALUE              coordinate set 1 of axis 1..3, through its setter
set2 AXIS VALUE              coordinate set 2 of axis 1..3, through its setter
word INDEX VALUE             display word 0..3 (0 to 65535), through its setter
display C1 C2 C3 C4 C5 C6 W0 W1 W2 W3
                             all ten display values
report HEX                   the pendant sends this input report (1 to 64 bytes)
jog AXIS COUNT               the pendant sends the wheel report for axis 0..3
                             (0 = none) and COUNT -128..127
timeout [N]                  N reads time out (default 1)
turns N                      the tool runs N turns of its loop now
unplug / replug              pull the pendant out, put it back
)";

const char* const GadgetScriptSummary =
    R"(report HEX                   queue this input report (1 to 64 bytes)
jog AXIS COUNT               queue the wheel report for axis 0..3 (0 = none)
                             and COUNT -128..127
wait-read [SECONDS]          wait until the host has read every queued report
                             (at most SECONDS, default 10)
wait-frames N [SECONDS]      wait until the host has sent N display frames in
                             all (at most SECONDS, default 10)
unplug / replug              unbind the gadget from its controller, bind it again
stall / unstall              halt the IN endpoint, clear the halt
burst N SEED                 N random wheel reports as fast as the host reads
timed N SEED                 N random wheel reports, each timed to its frame
quiet on|off                 leave out (or log again) per-transfer log lines
stats                        one STATS line of counters
)";

namespace {

// Which program takes a command; the other refuses it with `elsewhere`.
enum class Takes { Both, Sim, Gadget };

struct Command {
    const char* name;
    Op op;
    const char* usage;
    Takes takes;
    const char* elsewhere;
};

constexpr const char* Described =
    "the gadget's descriptors come from its options (--vid, --pid, --packet-size, "
    "--extra-interface)";
constexpr const char* Setter = "it goes through the tool's own setters, and here the tool runs on "
                               "the USB host and sets its display itself";
constexpr const char* GadgetOnly = "it is a pendant-gadget command (docs/gadget.md)";

const Command Commands[] = {
    {"device", Op::Device, "device present|absent", Takes::Sim, Described},
    {"path", Op::Path, "path TEXT", Takes::Sim, Described},
    {"descriptor", Op::Descriptor, "descriptor HEX...", Takes::Sim, Described},
    {"interface", Op::Interface, "interface HEX...", Takes::Sim, Described},
    {"pipes", Op::Pipes, "pipes none|TYPE:ID[:MAXPACKET]...", Takes::Sim, Described},
    {"fail", Op::Fail, "fail CALL [NTH [ERROR]] [sticky]", Takes::Sim,
     "it breaks the tool's platform calls, and here the tool runs on the USB host"},
    {"set1", Op::Set1, "set1 AXIS VALUE", Takes::Sim, Setter},
    {"set2", Op::Set2, "set2 AXIS VALUE", Takes::Sim, Setter},
    {"word", Op::Word, "word INDEX VALUE", Takes::Sim, Setter},
    {"display", Op::Display, "display C1 C2 C3 C4 C5 C6 W0 W1 W2 W3", Takes::Sim, Setter},
    {"report", Op::Report, "report HEX...", Takes::Both, ""},
    {"jog", Op::Jog, "jog AXIS COUNT", Takes::Both, ""},
    {"timeout", Op::Timeout, "timeout [N]", Takes::Sim,
     "the host's reads time out by themselves while the gadget sends nothing"},
    {"turns", Op::Turns, "turns N", Takes::Sim,
     "the tool turns on the USB host at its own pace; wait-read and wait-frames wait for it"},
    {"unplug", Op::Unplug, "unplug", Takes::Both, ""},
    {"replug", Op::Replug, "replug", Takes::Both, ""},
    {"wait-read", Op::WaitRead, "wait-read [SECONDS]", Takes::Gadget,
     "it is a pendant-gadget command; here the tool turns when the script says turns N"},
    {"wait-frames", Op::WaitFrames, "wait-frames N [SECONDS]", Takes::Gadget,
     "it is a pendant-gadget command; here the tool turns when the script says turns N"},
    {"stall", Op::Stall, "stall", Takes::Gadget, GadgetOnly},
    {"unstall", Op::Unstall, "unstall", Takes::Gadget, GadgetOnly},
    {"burst", Op::Burst, "burst N SEED", Takes::Gadget, GadgetOnly},
    {"timed", Op::Timed, "timed N SEED", Takes::Gadget, GadgetOnly},
    {"quiet", Op::Quiet, "quiet on|off", Takes::Gadget, GadgetOnly},
    {"stats", Op::Stats, "stats", Takes::Gadget, GadgetOnly},
};

const char* ProgramOf(Dialect dialect) {
    return dialect == Dialect::Sim ? "pendant-sim" : "pendant-gadget";
}

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A comment starts with # at the start of the line or after a blank, so that
// device paths (which hold # between words) stay whole.
std::string_view StripComment(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || Blank(line[i - 1])))
            return line.substr(0, i);
    return line;
}

std::vector<std::string> Words(std::string_view s) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < s.size()) {
        if (Blank(s[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < s.size() && !Blank(s[end]))
            ++end;
        words.emplace_back(s.substr(i, end - i));
        i = end;
    }
    return words;
}

std::string NameOf(Op op) {
    for (const Command& c : Commands)
        if (c.op == op)
            return c.name;
    return "?";
}

} // namespace

bool IsSetup(Op op) {
    return op == Op::Device || op == Op::Path || op == Op::Descriptor || op == Op::Interface ||
           op == Op::Pipes;
}

std::vector<std::uint8_t> WheelBytes(int axis, int count) {
    const auto report = WheelReport(axis, count);
    return {report.begin(), report.end()};
}

std::string ParseLine(std::string_view line, int lineNo, Step& step, bool& has, Dialect dialect) {
    has = false;
    const std::string_view text = Trim(StripComment(line));
    if (text.empty())
        return "";
    std::size_t nameEnd = 0;
    while (nameEnd < text.size() && !Blank(text[nameEnd]))
        ++nameEnd;
    const std::string name(text.substr(0, nameEnd));
    const std::string_view restOfLine = text.substr(nameEnd);
    const std::vector<std::string> args = Words(restOfLine);

    const Command* command = nullptr;
    for (const Command& c : Commands)
        if (name == c.name)
            command = &c;
    if (command == nullptr)
        return "unknown command " + Quoted(name) + " (" + ProgramOf(dialect) +
               " --commands lists them)";
    const Takes mine = dialect == Dialect::Sim ? Takes::Sim : Takes::Gadget;
    if (command->takes != Takes::Both && command->takes != mine)
        return Quoted(name) + " is not for " + ProgramOf(dialect) + ": " + command->elsewhere;

    step = Step{};
    step.line = lineNo;
    step.op = command->op;
    const std::size_t wanted = script_args::Wanted(command->op);
    if (wanted != SIZE_MAX && args.size() != wanted)
        return name + " takes " + std::to_string(wanted) + " argument" + (wanted == 1 ? "" : "s") +
               ", got " + std::to_string(args.size()) + "; usage: " + command->usage;
    const std::string problem = script_args::Parse(command->op, restOfLine, args, step);
    if (!problem.empty())
        return problem + "; usage: " + command->usage;
    has = true;
    return "";
}

bool ParseScript(std::istream& in, Script& script, ScriptError& error, Dialect dialect) {
    script.steps.clear();
    std::string line;
    int lineNo = 0;
    int firstRun = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        Step step;
        bool has = false;
        const std::string problem = ParseLine(line, lineNo, step, has, dialect);
        if (!problem.empty()) {
            error = {lineNo, problem};
            return false;
        }
        if (!has)
            continue;
        if (IsSetup(step.op) && firstRun != 0) {
            error = {lineNo, Quoted(NameOf(step.op)) +
                                 " describes the device, so it must come before line " +
                                 std::to_string(firstRun) + ", where the tool starts"};
            return false;
        }
        if (!IsSetup(step.op) && step.op != Op::Fail && firstRun == 0)
            firstRun = lineNo;
        script.steps.push_back(std::move(step));
    }
    return true;
}

} // namespace sim
