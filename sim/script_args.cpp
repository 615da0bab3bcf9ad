#include "sim/script_args.h"

#include <cstdint>

#include "pendant/pendant_device.h"
#include "sim/parse.h"

namespace sim::script_args {

namespace vp = virtual_pendant;

namespace {

constexpr unsigned MaxCount = 1000000;
constexpr unsigned MaxSeconds = 3600;
constexpr DWORD DefaultFailError = ERROR_GEN_FAILURE;

// The platform's names, spelt here rather than asked of the virtual pendant,
// so that a program without it (pendant-gadget) can link the parser.
struct CallNamed {
    const char* name;
    vp::Call call;
};
constexpr CallNamed CallNames[] = {
#define PLATFORM_CALL(result, name, parameters) {#name, vp::Call::name},
#include "usb/standin/platform_calls.inc"
#undef PLATFORM_CALL
};

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
    for (const CallNamed& c : CallNames)
        if (rest[0] == c.name) {
            step.call = c.call;
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

std::string ParseDisplay(const std::vector<std::string>& args, Step& step) {
    const int bad = ParseDisplayValues(args, step.display);
    if (bad < 0)
        return "";
    const std::string& word = args[static_cast<std::size_t>(bad)];
    return bad < 6 ? NotCoordinate(word) : NotDisplayWord(word);
}

std::string ParseBytes(Op op, std::string_view restOfLine, Step& step) {
    const std::string problem = ParseHexBytes(restOfLine, step.bytes);
    if (!problem.empty())
        return problem;
    if (op == Op::Report) {
        if (step.bytes.empty() || step.bytes.size() > InputReportBytes)
            return "got " + std::to_string(step.bytes.size()) + " bytes, want 1 to 64";
        return "";
    }
    const std::size_t want =
        op == Op::Descriptor ? sizeof(USB_DEVICE_DESCRIPTOR) : sizeof(USB_INTERFACE_DESCRIPTOR);
    if (step.bytes.size() != want)
        return "got " + std::to_string(step.bytes.size()) + " bytes, want " + std::to_string(want);
    return "";
}

} // namespace

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

std::size_t Wanted(Op op) {
    switch (op) {
    case Op::Device:
    case Op::Turns:
    case Op::Quiet:
        return 1;
    case Op::Set1:
    case Op::Set2:
    case Op::Word:
    case Op::Jog:
    case Op::Burst:
    case Op::Timed:
        return 2;
    case Op::Display:
        return 10;
    case Op::Unplug:
    case Op::Replug:
    case Op::Stall:
    case Op::Unstall:
    case Op::Stats:
        return 0;
    default:
        return SIZE_MAX; // checked by the command itself
    }
}

std::string Parse(Op op, std::string_view restOfLine, const std::vector<std::string>& args,
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
    case Op::Interface:
    case Op::Report:
        return ParseBytes(op, restOfLine, step);
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
        return ParseDisplay(args, step);
    case Op::Jog: {
        unsigned long long axis = 0;
        long long count = 0;
        if (!ParseUnsigned(args[0], 3, axis))
            return "axis " + Quoted(args[0]) + " is not 0 to 3 (0: none selected)";
        if (!ParseSigned(args[1], -128, 127, count))
            return "count " + Quoted(args[1]) + " is not -128 to 127";
        step.bytes = WheelBytes(static_cast<int>(axis), static_cast<int>(count));
        return "";
    }
    case Op::Timeout:
        if (args.size() > 1)
            return "timeout takes at most one count";
        return args.empty() ? "" : ParseCount(args[0], step.count);
    case Op::Turns:
        return ParseCount(args[0], step.count);
    case Op::WaitRead:
        if (args.size() > 1)
            return "wait-read takes at most a number of seconds";
        return ParseSeconds(args, 0, step);
    case Op::WaitFrames: {
        if (args.empty() || args.size() > 2)
            return "wait-frames takes a number of frames and optionally of seconds";
        const std::string problem = ParseCount(args[0], step.count);
        return problem.empty() ? ParseSeconds(args, 1, step) : problem;
    }
    case Op::Burst:
    case Op::Timed: {
        const std::string problem = ParseCount(args[0], step.count);
        unsigned long long seed = 0;
        if (!problem.empty())
            return problem;
        if (!ParseUnsigned(args[1], 0xFFFFFFFFULL, seed))
            return "seed " + Quoted(args[1]) + " is not 0 to 4294967295";
        step.seed = static_cast<unsigned>(seed);
        return "";
    }
    case Op::Quiet:
        if (args[0] != "on" && args[0] != "off")
            return "quiet is " + Quoted(args[0]) + "; say on or off";
        step.on = args[0] == "on";
        return "";
    case Op::Unplug:
    case Op::Replug:
    case Op::Stall:
    case Op::Unstall:
    case Op::Stats:
        return "";
    }
    return "";
}

} // namespace sim::script_args
