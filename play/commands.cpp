#include "play/commands.h"

#include "play/readers.h"

namespace play {

namespace {

constexpr const char* Described =
    "the gadget's descriptors come from its options (--vid, --pid, --packet-size, --interval, "
    "--hid-length, --unanswered, --extra-interface)";
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
    {"pipes", Op::Pipes, "pipes none|TYPE:ID[:MAXPACKET[:INTERVAL]]...",
     "its endpoints; TYPE control, iso, bulk or interrupt", nullptr, Described, AnyWords,
     ParsePipes},
    {"report-size", Op::ReportSize, "report-size N",
     "its input report is N bytes (1 to 64, default 8),\nas its report descriptor says", nullptr,
     "its report size is the option --report-size, since the descriptors are written before the "
     "script runs",
     1, ParseReportSize},
    {"report-descriptor", Op::ReportDescriptor, "report-descriptor HEX...",
     "its HID report descriptor, byte by byte", nullptr, Described, AnyWords, ParseBytes},
    {"hid-length", Op::HidLength, "hid-length N",
     "the report descriptor's length its HID\ndescriptor declares (default: the true one)", nullptr,
     Described, 1, ParseHidLength},
    {"speed", Op::Speed, "speed low|full|high|unknown", "the speed the host says it runs at (full)",
     nullptr, "the gadget runs at the speed its controller gives it", 1, ParseSpeed},
    {"unanswered", Op::Unanswered, "unanswered none|REQUEST...",
     "class requests it leaves to time out:\nset-idle, get-report", nullptr, Described, AnyWords,
     ParseUnanswered},
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
