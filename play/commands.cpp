#include "play/commands.h"

#include <cstdint>

#include "play/parse.h"
#include "protocol/wire.h"

namespace play {

namespace {

constexpr unsigned MaxCount = 1000000;
constexpr unsigned MaxSeconds = 3600;

std::string ParseAxis(const std::string& word, int& index) {
    unsigned long long n = 0;
    if (!ParseUnsigned(word, 3, n) || n == 0)
        return "axis " + Quoted(word) + " is not 1, 2 or 3";
    index = static_cast<int>(n) - 1;
    return "";
}

std::string NotCoordinate(const std::string& word) {
    return Quoted(word) + " is not a coordinate (a 32-bit float)";
}
std::string NotDisplayWord(const std::string& word) {
    return Quoted(word) + " is not a display word (0 to 65535)";
}

std::string ParseCoordinate(const std::string& word, float& value) {
    return ParseFloat(word, value) ? "" : NotCoordinate(word);
}

std::string ParseWord(const std::string& word, std::uint16_t& value) {
    unsigned long long n = 0;
    if (!ParseUnsigned(word, 0xFFFF, n))
        return NotDisplayWord(word);
    value = static_cast<std::uint16_t>(n);
    return "";
}

std::string ParseCount(const std::string& word, unsigned& count, unsigned max = MaxCount) {
    unsigned long long n = 0;
    if (!ParseUnsigned(word, max, n) || n == 0)
        return Quoted(word) + " is not a count from 1 to " + std::to_string(max);
    count = static_cast<unsigned>(n);
    return "";
}

std::string ParseSeconds(const std::vector<std::string>& args, std::size_t at, Step& step) {
    if (args.size() <= at)
        return "";
    unsigned long long n = 0;
    if (!ParseUnsigned(args[at], MaxSeconds, n) || n == 0)
        return Quoted(args[at]) + " is not a number of seconds from 1 to " +
               std::to_string(MaxSeconds);
    step.seconds = static_cast<unsigned>(n);
    return "";
}

std::string ParsePipe(const std::string& word, Pipe& pipe) {
    const std::size_t colon = word.find(':');
    if (colon == std::string::npos)
        return "pipe " + Quoted(word) + " is not TYPE:ID[:MAXPACKET]";
    const std::string type = word.substr(0, colon);
    std::string rest = word.substr(colon + 1);
    std::string maxPacket = "8";
    const std::size_t second = rest.find(':');
    if (second != std::string::npos) {
        maxPacket = rest.substr(second + 1);
        rest = rest.substr(0, second);
    }
    if (type == "control")
        pipe.type = PipeType::Control;
    else if (type == "iso")
        pipe.type = PipeType::Isochronous;
    else if (type == "bulk")
        pipe.type = PipeType::Bulk;
    else if (type == "interrupt")
        pipe.type = PipeType::Interrupt;
    else
        return "pipe type " + Quoted(type) + " is not control, iso, bulk or interrupt";
    unsigned long long id = 0;
    unsigned long long max = 0;
    if (!ParseUnsigned(rest, 0xFF, id))
        return "pipe id " + Quoted(rest) + " is not 0 to 255 (0x81 is IN endpoint 1)";
    if (!ParseUnsigned(maxPacket, 0xFFFF, max))
        return "max packet " + Quoted(maxPacket) + " is not 0 to 65535";
    pipe.id = static_cast<std::uint8_t>(id);
    pipe.maxPacket = static_cast<std::uint16_t>(max);
    return "";
}

std::string ParseFail(const std::vector<std::string>& args, Step& step) {
    std::vector<std::string> rest(args);
    if (!rest.empty() && rest.back() == "sticky") {
        step.sticky = true;
        rest.pop_back();
    }
    if (rest.empty() || rest.size() > 3)
        return "fail takes a call name, then optionally NTH, ERROR and the word sticky";
    if (!FindCall(rest[0], step.call))
        return "no platform call is named " + Quoted(rest[0]) +
               " (names as the platform spells them, e.g. WinUsb_ReadPipe)";
    step.nth = 1;
    step.error = DefaultFailError;
    unsigned long long n = 0;
    if (rest.size() > 1) {
        if (!ParseUnsigned(rest[1], MaxCount, n) || n == 0)
            return Quoted(rest[1]) + " is not a call number from 1 to " + std::to_string(MaxCount);
        step.nth = static_cast<unsigned>(n);
    }
    if (rest.size() > 2) {
        // 0 too: some platforms fail a call without saying why.
        if (!ParseUnsigned(rest[2], 0xFFFFFFFFULL, n))
            return Quoted(rest[2]) + " is not an error code (0 to 0xFFFFFFFF)";
        step.error = static_cast<std::uint32_t>(n);
    }
    return "";
}

std::string ParseDisplay(const std::vector<std::string>& args, Step& step) {
    const int bad = ParseDisplayValues(args, step.display);
    if (bad < 0)
        return "";
    const std::string& word = args[static_cast<std::size_t>(bad)];
    return bad < 6 ? NotCoordinate(word) : NotDisplayWord(word);
}

std::string ParseBytes(std::string_view restOfLine, const std::vector<std::string>& args,
                       Step& step) {
    // report --raw HEX...: a report of any length, as a malformed pendant sends.
    constexpr std::string_view Raw = "--raw";
    if (step.op == Op::Report && !args.empty() && args[0] == Raw) {
        step.raw = true;
        restOfLine = Trim(restOfLine).substr(Raw.size());
    }
    const std::string problem = ParseHexBytes(restOfLine, step.bytes);
    if (!problem.empty())
        return problem;
    if (step.op == Op::Report) {
        if (step.bytes.empty() || step.bytes.size() > InputReportBytes)
            return "got " + std::to_string(step.bytes.size()) + " bytes, want 1 to 64";
        return "";
    }
    const std::size_t want =
        step.op == Op::Descriptor ? DeviceDescriptorBytes : InterfaceDescriptorBytes;
    if (step.bytes.size() != want)
        return "got " + std::to_string(step.bytes.size()) + " bytes, want " + std::to_string(want);
    return "";
}

// Every reader below takes the same three arguments, so that the table can
// hold them; most need only the words.
using Words = std::vector<std::string>;

std::string ParseDevice(std::string_view, const Words& args, Step& step) {
    if (args[0] != "present" && args[0] != "absent")
        return "device is " + Quoted(args[0]) + "; say present or absent";
    step.present = args[0] == "present";
    return "";
}

std::string ParsePath(std::string_view restOfLine, const Words& args, Step& step) {
    if (args.empty())
        return "path needs the device path";
    step.text = std::string(Trim(restOfLine));
    return "";
}

std::string ParsePipes(std::string_view, const Words& args, Step& step) {
    if (args.size() == 1 && args[0] == "none")
        return "";
    if (args.empty() || args.size() > 255)
        return "give 1 to 255 pipes, or none";
    for (const std::string& a : args) {
        Pipe pipe{};
        const std::string problem = ParsePipe(a, pipe);
        if (!problem.empty())
            return problem;
        step.pipes.push_back(pipe);
    }
    return "";
}

std::string ParseFailStep(std::string_view, const Words& args, Step& step) {
    return ParseFail(args, step);
}

std::string ParseSet(std::string_view, const Words& args, Step& step) {
    const std::string problem = ParseAxis(args[0], step.index);
    return problem.empty() ? ParseCoordinate(args[1], step.value) : problem;
}

std::string ParseWordStep(std::string_view, const Words& args, Step& step) {
    unsigned long long n = 0;
    if (!ParseUnsigned(args[0], 3, n))
        return "word index " + Quoted(args[0]) + " is not 0 to 3";
    step.index = static_cast<int>(n);
    return ParseWord(args[1], step.word);
}

std::string ParseDisplayStep(std::string_view, const Words& args, Step& step) {
    return ParseDisplay(args, step);
}

std::string ParseJog(std::string_view, const Words& args, Step& step) {
    unsigned long long axis = 0;
    long long count = 0;
    if (!ParseUnsigned(args[0], 3, axis))
        return "axis " + Quoted(args[0]) + " is not 0 to 3 (0: none selected)";
    if (!ParseSigned(args[1], -128, 127, count))
        return "count " + Quoted(args[1]) + " is not -128 to 127";
    step.bytes = WheelBytes(static_cast<int>(axis), static_cast<int>(count));
    return "";
}

std::string ParseTimeout(std::string_view, const Words& args, Step& step) {
    if (args.size() > 1)
        return "timeout takes at most one count";
    return args.empty() ? "" : ParseCount(args[0], step.count);
}

std::string ParseTurns(std::string_view, const Words& args, Step& step) {
    return ParseCount(args[0], step.count);
}

std::string ParseWaitRead(std::string_view, const Words& args, Step& step) {
    if (args.size() > 1)
        return "wait-read takes at most a number of seconds";
    return ParseSeconds(args, 0, step);
}

std::string ParseWaitFrames(std::string_view, const Words& args, Step& step) {
    if (args.empty() || args.size() > 2)
        return "wait-frames takes a number of frames and optionally of seconds";
    const std::string problem = ParseCount(args[0], step.count);
    return problem.empty() ? ParseSeconds(args, 1, step) : problem;
}

std::string ParseRandom(std::string_view, const Words& args, Step& step) {
    const std::string problem = ParseCount(args[0], step.count);
    unsigned long long seed = 0;
    if (!problem.empty())
        return problem;
    if (!ParseUnsigned(args[1], 0xFFFFFFFFULL, seed))
        return "seed " + Quoted(args[1]) + " is not 0 to 4294967295";
    step.seed = static_cast<unsigned>(seed);
    return "";
}

std::string OnOff(const char* name, const Words& args, Step& step) {
    if (args[0] != "on" && args[0] != "off")
        return std::string(name) + " is " + Quoted(args[0]) + "; say on or off";
    step.on = args[0] == "on";
    return "";
}

std::string ParseQuiet(std::string_view, const Words& args, Step& step) {
    return OnOff("quiet", args, step);
}

std::string ParseZlp(std::string_view, const Words& args, Step& step) {
    return OnOff("zlp", args, step);
}

std::string ParseReportSize(std::string_view, const Words& args, Step& step) {
    unsigned long long n = 0;
    if (!ParseUnsigned(args[0], InputReportBytes, n) || n == 0)
        return "report size " + Quoted(args[0]) + " is not 1 to 64";
    step.count = static_cast<unsigned>(n);
    return "";
}

// The prompt's name only as a word here: which prompts the check has is the
// check's to say, and pendant-sim --check holds the script to them before it
// starts.
std::string ParseAwait(std::string_view, const Words& args, Step& step) {
    for (const char c : args[0])
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'))
            return "prompt " + Quoted(args[0]) + " is not a prompt name (pattern-1, axis-off, ...)";
    step.text = args[0];
    return "";
}

std::string ParseAnswer(std::string_view, const Words& args, Step& step) {
    if (args[0] == "y" || args[0] == "n")
        step.text = args[0];
    else if (args[0] == "enter")
        step.text = ""; // Enter alone: the check skips the step it is in
    else
        return "answer is " + Quoted(args[0]) + "; say y, n or enter";
    return "";
}

std::string NoArguments(std::string_view, const Words&, Step&) {
    return "";
}

constexpr const char* Described =
    "the gadget's descriptors come from its options (--vid, --pid, --packet-size, "
    "--extra-interface)";
constexpr const char* Setter = "it goes through the tool's own setters, and here the tool runs on "
                               "the USB host and sets its display itself";
constexpr const char* GadgetOnly = "it is a pendant-gadget command (docs/gadget.md)";
constexpr const char* WaitsInGadget =
    "it is a pendant-gadget command; here the tool turns when the script says turns N";

constexpr const char* PersonAtCheck =
    "it is what the person at pendant-sim --check does; with pendant-gadget the check runs on "
    "the USB host and its person types there";

constexpr const char* ZlpSummary = "a zero-length packet after every report that\nfills its "
                                   "last packet, or none (default:\nafter those longer than a "
                                   "packet)";

// In the order --commands lists them.
constexpr Command Table[] = {
    {"device", Op::Device, "device present|absent", "the pendant is there to be found, or not",
     nullptr, Described, 1, ParseDevice},
    {"path", Op::Path, "path TEXT", "its device path (rest of the line)", nullptr, Described,
     AnyWords, ParsePath},
    {"descriptor", Op::Descriptor, "descriptor HEX...", "its 18-byte device descriptor", nullptr,
     Described, AnyWords, ParseBytes},
    {"interface", Op::Interface, "interface HEX...", "its 9-byte interface descriptor", nullptr,
     Described, AnyWords, ParseBytes},
    {"pipes", Op::Pipes, "pipes none|TYPE:ID[:MAXPACKET]...",
     "its endpoints; TYPE control, iso, bulk or interrupt", nullptr, Described, AnyWords,
     ParsePipes},
    {"report-size", Op::ReportSize, "report-size N",
     "its input report is N bytes (1 to 64, default 8),\nas its report descriptor says", nullptr,
     "its report size is the option --report-size, since the descriptors are written before the "
     "script runs",
     1, ParseReportSize},
    {"fail", Op::Fail, "fail CALL [NTH [ERROR]] [sticky]",
     "the NTH call of CALL from here on fails with ERROR", nullptr,
     "it breaks the tool's platform calls, and here the tool runs on the USB host", AnyWords,
     ParseFailStep},
    {"set1", Op::Set1, "set1 AXIS VALUE", "coordinate set 1 of axis 1..3, through its setter",
     nullptr, Setter, 2, ParseSet},
    {"set2", Op::Set2, "set2 AXIS VALUE", "coordinate set 2 of axis 1..3, through its setter",
     nullptr, Setter, 2, ParseSet},
    {"word", Op::Word, "word INDEX VALUE", "display word 0..3 (0 to 65535), through its setter",
     nullptr, Setter, 2, ParseWordStep},
    {"display", Op::Display, "display C1 C2 C3 C4 C5 C6 W0 W1 W2 W3", "all ten display values",
     nullptr, Setter, 10, ParseDisplayStep},
    {"report", Op::Report, "report [--raw] HEX...",
     "the pendant sends this input report, of its report\nsize (--raw: any of 1 to 64 bytes)",
     "queue this input report, of its report size\n(--raw: any of 1 to 64 bytes)", "", AnyWords,
     ParseBytes},
    {"jog", Op::Jog, "jog AXIS COUNT",
     "the pendant sends the wheel report for axis 0..3\n(0 = none) and COUNT -128..127",
     "queue the wheel report for axis 0..3 (0 = none)\nand COUNT -128..127", "", 2, ParseJog},
    {"timeout", Op::Timeout, "timeout [N]", "N reads time out (default 1)", nullptr,
     "the host's reads time out by themselves while the gadget sends nothing", AnyWords,
     ParseTimeout},
    {"turns", Op::Turns, "turns N", "the tool runs N turns of its loop now", nullptr,
     "the tool turns on the USB host at its own pace; wait-read and wait-frames wait for it", 1,
     ParseTurns},
    {"wait-read", Op::WaitRead, "wait-read [SECONDS]", nullptr,
     "wait until the host has read every queued report\n(at most SECONDS, default 10)",
     WaitsInGadget, AnyWords, ParseWaitRead},
    {"wait-frames", Op::WaitFrames, "wait-frames N [SECONDS]", nullptr,
     "wait until the host has sent N display frames in\nall (at most SECONDS, default 10)",
     WaitsInGadget, AnyWords, ParseWaitFrames},
    {"unplug", Op::Unplug, "unplug", "pull the pendant out, put it back",
     "unbind the gadget from its controller, bind it again", "", 0, NoArguments},
    {"replug", Op::Replug, "replug", "", "", "", 0, NoArguments},
    {"zlp", Op::Zlp, "zlp on|off", ZlpSummary, ZlpSummary, "", 1, ParseZlp},
    {"await", Op::Await, "await PROMPT",
     "--check: wait until the check asks for PROMPT\n(pattern-1, axis-off, wheel-forward, unplug, "
     "...)",
     nullptr, PersonAtCheck, 1, ParseAwait},
    {"answer", Op::Answer, "answer y|n|enter",
     "--check: type y or n and Enter, or Enter alone\n(which skips the step)", nullptr,
     PersonAtCheck, 1, ParseAnswer},
    {"stall", Op::Stall, "stall", nullptr, "halt the IN endpoint, clear the halt", GadgetOnly, 0,
     NoArguments},
    {"unstall", Op::Unstall, "unstall", nullptr, "", GadgetOnly, 0, NoArguments},
    {"burst", Op::Burst, "burst N SEED", nullptr,
     "N random wheel reports as fast as the host reads", GadgetOnly, 2, ParseRandom},
    {"timed", Op::Timed, "timed N SEED", nullptr, "N random wheel reports, each timed to its frame",
     GadgetOnly, 2, ParseRandom},
    {"quiet", Op::Quiet, "quiet on|off", nullptr, "leave out (or log again) per-transfer log lines",
     GadgetOnly, 1, ParseQuiet},
    {"stats", Op::Stats, "stats", nullptr, "one STATS line of counters", GadgetOnly, 0,
     NoArguments},
};

// --commands' first column; a usage as wide or wider has a line of its own.
constexpr std::size_t SummaryColumn = 29;

} // namespace

std::span<const Command> Commands() {
    return Table;
}

const Command* FindCommand(std::string_view name) {
    for (const Command& c : Table)
        if (name == c.name)
            return &c;
    return nullptr;
}

const char* SummaryOf(const Command& command, Dialect dialect) {
    return dialect == Dialect::Sim ? command.simSummary : command.gadgetSummary;
}

bool Takes(const Command& command, Dialect dialect) {
    return SummaryOf(command, dialect) != nullptr;
}

std::string CommandSummary(Dialect dialect) {
    const std::string indent(SummaryColumn, ' ');
    std::string text;
    const std::span<const Command> table = Commands();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const char* summary = SummaryOf(table[i], dialect);
        if (summary == nullptr || *summary == '\0')
            continue;
        std::string left = table[i].usage;
        for (std::size_t j = i + 1; j < table.size(); ++j) {
            const char* next = SummaryOf(table[j], dialect);
            if (next == nullptr || *next != '\0')
                break;
            left += std::string(" / ") + table[j].usage;
        }
        if (left.size() < SummaryColumn)
            text += left + std::string(SummaryColumn - left.size(), ' ');
        else
            text += left + "\n" + indent;
        for (const char* c = summary; *c != '\0'; ++c)
            text += *c == '\n' ? "\n" + indent : std::string(1, *c);
        text += "\n";
    }
    return text;
}

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

} // namespace play
