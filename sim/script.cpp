#include "sim/script.h"

#include "pendant/pendant_device.h"
#include "sim/parse.h"

namespace sim {

namespace vp = virtual_pendant;

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

namespace {

constexpr unsigned MaxCount = 1000000;
constexpr DWORD DefaultFailError = ERROR_GEN_FAILURE;

struct Command {
    const char* name;
    Op op;
    const char* usage;
};

const Command Commands[] = {
    {"device", Op::Device, "device present|absent"},
    {"path", Op::Path, "path TEXT"},
    {"descriptor", Op::Descriptor, "descriptor HEX..."},
    {"interface", Op::Interface, "interface HEX..."},
    {"pipes", Op::Pipes, "pipes none|TYPE:ID[:MAXPACKET]..."},
    {"fail", Op::Fail, "fail CALL [NTH [ERROR]] [sticky]"},
    {"set1", Op::Set1, "set1 AXIS VALUE"},
    {"set2", Op::Set2, "set2 AXIS VALUE"},
    {"word", Op::Word, "word INDEX VALUE"},
    {"display", Op::Display, "display C1 C2 C3 C4 C5 C6 W0 W1 W2 W3"},
    {"report", Op::Report, "report HEX..."},
    {"jog", Op::Jog, "jog AXIS COUNT"},
    {"timeout", Op::Timeout, "timeout [N]"},
    {"turns", Op::Turns, "turns N"},
    {"unplug", Op::Unplug, "unplug"},
    {"replug", Op::Replug, "replug"},
};

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

std::string_view Trim(std::string_view s) {
    while (!s.empty() && Blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && Blank(s.back()))
        s.remove_suffix(1);
    return s;
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

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

std::string ParseAxis(const std::string& word, int& index) {
    unsigned long long n = 0;
    if (!ParseUnsigned(word, 3, n) || n == 0)
        return "axis " + Quoted(word) + " is not 1, 2 or 3";
    index = static_cast<int>(n) - 1;
    return "";
}

std::string ParseCoordinate(const std::string& word, float& value) {
    if (!ParseFloat(word, value))
        return Quoted(word) + " is not a coordinate (a 32-bit float)";
    return "";
}

std::string ParseWord(const std::string& word, std::uint16_t& value) {
    unsigned long long n = 0;
    if (!ParseUnsigned(word, 0xFFFF, n))
        return Quoted(word) + " is not a display word (0 to 65535)";
    value = static_cast<std::uint16_t>(n);
    return "";
}

std::string ParseCount(const std::string& word, unsigned& count) {
    unsigned long long n = 0;
    if (!ParseUnsigned(word, MaxCount, n) || n == 0)
        return Quoted(word) + " is not a count from 1 to " + std::to_string(MaxCount);
    count = static_cast<unsigned>(n);
    return "";
}

std::string ParsePipe(const std::string& word, vp::Pipe& pipe) {
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
        pipe.type = UsbdPipeTypeControl;
    else if (type == "iso")
        pipe.type = UsbdPipeTypeIsochronous;
    else if (type == "bulk")
        pipe.type = UsbdPipeTypeBulk;
    else if (type == "interrupt")
        pipe.type = UsbdPipeTypeInterrupt;
    else
        return "pipe type " + Quoted(type) + " is not control, iso, bulk or interrupt";
    unsigned long long id = 0;
    unsigned long long max = 0;
    if (!ParseUnsigned(rest, 0xFF, id))
        return "pipe id " + Quoted(rest) + " is not 0 to 255 (0x81 is IN endpoint 1)";
    if (!ParseUnsigned(maxPacket, 0xFFFF, max))
        return "max packet " + Quoted(maxPacket) + " is not 0 to 65535";
    pipe.id = static_cast<UCHAR>(id);
    pipe.maxPacket = static_cast<USHORT>(max);
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
    bool known = false;
    for (vp::Call call : vp::AllCalls)
        if (rest[0] == vp::CallName(call)) {
            step.call = call;
            known = true;
        }
    if (!known)
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
        step.error = static_cast<DWORD>(n);
    }
    return "";
}

std::size_t ArgsWanted(Op op) {
    switch (op) {
    case Op::Device:
    case Op::Turns:
        return 1;
    case Op::Set1:
    case Op::Set2:
    case Op::Word:
    case Op::Jog:
        return 2;
    case Op::Display:
        return 10;
    case Op::Unplug:
    case Op::Replug:
        return 0;
    default:
        return SIZE_MAX; // checked by the command itself
    }
}

std::string ParseArgs(Op op, std::string_view restOfLine, const std::vector<std::string>& args,
                      Step& step) {
    switch (op) {
    case Op::Device:
        if (args[0] != "present" && args[0] != "absent")
            return "device is " + Quoted(args[0]) + "; say present or absent";
        step.present = args[0] == "present";
        return "";
    case Op::Path:
        if (args.empty())
            return "path needs the device path";
        step.text = std::string(Trim(restOfLine));
        return "";
    case Op::Descriptor:
    case Op::Interface: {
        const std::size_t want =
            op == Op::Descriptor ? sizeof(USB_DEVICE_DESCRIPTOR) : sizeof(USB_INTERFACE_DESCRIPTOR);
        const std::string problem = ParseHexBytes(restOfLine, step.bytes);
        if (!problem.empty())
            return problem;
        if (step.bytes.size() != want)
            return "got " + std::to_string(step.bytes.size()) + " bytes, want " +
                   std::to_string(want);
        return "";
    }
    case Op::Pipes:
        if (args.size() == 1 && args[0] == "none")
            return "";
        if (args.empty() || args.size() > 255)
            return "give 1 to 255 pipes, or none";
        for (const std::string& a : args) {
            vp::Pipe pipe{};
            const std::string problem = ParsePipe(a, pipe);
            if (!problem.empty())
                return problem;
            step.pipes.push_back(pipe);
        }
        return "";
    case Op::Fail:
        return ParseFail(args, step);
    case Op::Set1:
    case Op::Set2: {
        std::string problem = ParseAxis(args[0], step.index);
        return problem.empty() ? ParseCoordinate(args[1], step.value) : problem;
    }
    case Op::Word: {
        unsigned long long n = 0;
        if (!ParseUnsigned(args[0], 3, n))
            return "word index " + Quoted(args[0]) + " is not 0 to 3";
        step.index = static_cast<int>(n);
        return ParseWord(args[1], step.word);
    }
    case Op::Display:
        for (int k = 0; k < 6; ++k) {
            float& slot = k < 3 ? step.display.coordSet1[k] : step.display.coordSet2[k - 3];
            const std::string problem = ParseCoordinate(args[k], slot);
            if (!problem.empty())
                return problem;
        }
        for (int j = 0; j < 4; ++j) {
            const std::string problem = ParseWord(args[6 + j], step.display.words[j]);
            if (!problem.empty())
                return problem;
        }
        return "";
    case Op::Report: {
        const std::string problem = ParseHexBytes(restOfLine, step.bytes);
        if (!problem.empty())
            return problem;
        if (step.bytes.empty() || step.bytes.size() > InputReportBytes)
            return "got " + std::to_string(step.bytes.size()) + " bytes, want 1 to 64";
        return "";
    }
    case Op::Jog: {
        unsigned long long axis = 0;
        long long count = 0;
        if (!ParseUnsigned(args[0], 3, axis))
            return "axis " + Quoted(args[0]) + " is not 0 to 3 (0: none selected)";
        if (!ParseSigned(args[1], -128, 127, count))
            return "count " + Quoted(args[1]) + " is not -128 to 127";
        step.bytes = {0x04,
                      0x00,
                      0x00,
                      static_cast<std::uint8_t>(axis == 0 ? 0x00 : 0x10 + axis),
                      static_cast<std::uint8_t>(count & 0xFF),
                      0x00,
                      0x00,
                      0x00};
        return "";
    }
    case Op::Timeout:
        if (args.size() > 1)
            return "timeout takes at most one count";
        return args.empty() ? "" : ParseCount(args[0], step.count);
    case Op::Turns:
        return ParseCount(args[0], step.count);
    case Op::Unplug:
    case Op::Replug:
        return "";
    }
    return "";
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

std::string ParseLine(std::string_view line, int lineNo, Step& step, bool& has) {
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
        return "unknown command " + Quoted(name) + " (pendant-sim --commands lists them)";

    step = Step{};
    step.line = lineNo;
    step.op = command->op;
    const std::size_t wanted = ArgsWanted(command->op);
    if (wanted != SIZE_MAX && args.size() != wanted)
        return name + " takes " + std::to_string(wanted) + " argument" + (wanted == 1 ? "" : "s") +
               ", got " + std::to_string(args.size()) + "; usage: " + command->usage;
    const std::string problem = ParseArgs(command->op, restOfLine, args, step);
    if (!problem.empty())
        return problem + "; usage: " + command->usage;
    has = true;
    return "";
}

bool ParseScript(std::istream& in, Script& script, ScriptError& error) {
    script.steps.clear();
    std::string line;
    int lineNo = 0;
    int firstRun = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        Step step;
        bool has = false;
        const std::string problem = ParseLine(line, lineNo, step, has);
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
