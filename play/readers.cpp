#include "play/readers.h"

#include <cstdint>

#include "play/commands.h"
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
        return "pipe " + Quoted(word) + " is not TYPE:ID[:MAXPACKET[:INTERVAL]]";
    const std::string type = word.substr(0, colon);
    std::string rest = word.substr(colon + 1);
    std::string maxPacket = "8";
    std::string interval = "1";
    const std::size_t second = rest.find(':');
    if (second != std::string::npos) {
        maxPacket = rest.substr(second + 1);
        rest = rest.substr(0, second);
        if (const std::size_t third = maxPacket.find(':'); third != std::string::npos) {
            interval = maxPacket.substr(third + 1);
            maxPacket = maxPacket.substr(0, third);
        }
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
    unsigned long long every = 0;
    if (!ParseUnsigned(interval, 0xFF, every))
        return "interval " + Quoted(interval) + " is not 0 to 255";
    pipe.id = static_cast<std::uint8_t>(id);
    pipe.maxPacket = static_cast<std::uint16_t>(max);
    pipe.interval = static_cast<std::uint8_t>(every);
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

std::string OnOff(const char* name, const Words& args, Step& step) {
    if (args[0] != "on" && args[0] != "off")
        return std::string(name) + " is " + Quoted(args[0]) + "; say on or off";
    step.on = args[0] == "on";
    return "";
}

} // namespace

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
    if (step.op == Op::ReportDescriptor)
        return step.bytes.size() > ReportDescriptorMaxBytes
                   ? "got " + std::to_string(step.bytes.size()) + " bytes, want at most 4096"
                   : "";
    const std::size_t want =
        step.op == Op::Descriptor ? DeviceDescriptorBytes : InterfaceDescriptorBytes;
    if (step.bytes.size() != want)
        return "got " + std::to_string(step.bytes.size()) + " bytes, want " + std::to_string(want);
    return "";
}

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

std::string ParseHidLength(std::string_view, const Words& args, Step& step) {
    unsigned long long n = 0;
    if (!ParseUnsigned(args[0], 0xFFFF, n))
        return "length " + Quoted(args[0]) + " is not 0 to 65535";
    step.count = static_cast<unsigned>(n);
    return "";
}

std::string ParseSpeed(std::string_view, const Words& args, Step& step) {
    static const char* const names[] = {"unknown", "low", "full", "high"};
    for (std::uint8_t i = 0; i < 4; ++i)
        if (args[0] == names[i]) {
            step.speed = i;
            return "";
        }
    return "speed is " + Quoted(args[0]) + "; say low, full, high or unknown";
}

std::string ParseUnanswered(std::string_view, const Words& args, Step& step) {
    if (args.size() == 1 && args[0] == "none")
        return "";
    if (args.empty())
        return "name the requests (set-idle, get-report), or none";
    for (const std::string& a : args) {
        if (a == "set-idle")
            step.bytes.push_back(HidSetIdle);
        else if (a == "get-report")
            step.bytes.push_back(HidGetReport);
        else
            return "request " + Quoted(a) + " is not set-idle or get-report";
    }
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

} // namespace play
