#include "sim/decode.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <sstream>

#include "play/parse.h"
#include "protocol/display.h"
#include "protocol/hex.h"

namespace sim {

namespace {

std::string Signed(int n) {
    return (n > 0 ? "+" : "") + std::to_string(n);
}

// Where a problem is: its line, when the input is standard input; a command
// line is one piece.
std::string Where(bool numbered, int lineNo) {
    return numbered ? "line " + std::to_string(lineNo) + ": " : "";
}

std::string Hex2(unsigned byte) {
    const std::uint8_t one = static_cast<std::uint8_t>(byte & 0xFFU);
    return "0x" + protocol::HexBytes({&one, 1});
}

} // namespace

constexpr std::string_view TraceMark = "Read from rk27:";
constexpr std::string_view FrameMark = "[frame ";

bool TraceLine(std::string_view line) {
    return line.find(TraceMark) != std::string_view::npos;
}
bool FrameLine(std::string_view line) {
    return line.substr(0, FrameMark.size()) == FrameMark;
}

// The lines to read: when the text holds any line of the kind the command
// reads (the tool's trace lines, script mode's frame lines), only those: a
// whole output pasted or piped in has the survey and other lines around
// them.
std::vector<std::pair<int, std::string>> LinesToRead(const std::string& text,
                                                     bool (*kind)(std::string_view)) {
    std::vector<std::pair<int, std::string>> lines;
    std::istringstream in(text);
    std::string line;
    bool anyOfKind = false;
    for (int lineNo = 1; std::getline(in, line); ++lineNo) {
        anyOfKind = anyOfKind || kind(line);
        lines.emplace_back(lineNo, line);
    }
    if (anyOfKind)
        lines.erase(std::remove_if(lines.begin(), lines.end(),
                                   [kind](const auto& l) { return !kind(l.second); }),
                    lines.end());
    return lines;
}

std::string_view LineBytes(std::string_view line, bool& carries) {
    carries = true;
    if (const std::size_t at = line.find(TraceMark); at != std::string_view::npos)
        return line.substr(at + TraceMark.size());
    if (line.substr(0, FrameMark.size()) == FrameMark) {
        const std::size_t close = line.find(']');
        if (close != std::string_view::npos) {
            std::string_view rest = line.substr(close + 1);
            while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
                rest.remove_prefix(1);
            // Script mode prints each frame twice: its bytes, then its values.
            if (rest.substr(0, 5) == "set1 ") {
                carries = false;
                return {};
            }
            return rest;
        }
    }
    return line;
}

std::string FormatFrame(const std::uint8_t* frame48) {
    return protocol::HexBytes({frame48, DisplayFrameBytes}, DisplayReportBytes);
}

ReportMeaning DescribeReport(const std::uint8_t* report, std::size_t length) {
    const std::uint8_t code = length > AxisCodeByte ? report[AxisCodeByte] : 0;
    const std::uint8_t byte = length > JogDeltaByte ? report[JogDeltaByte] : 0;
    ReportMeaning m;
    m.axis = AxisIndexOf(code) + 1;
    m.count = static_cast<std::int8_t>(byte);
    const bool countInRange = DecodeJog(byte) != 0;
    m.moves = m.axis != 0 && countInRange;

    std::string text =
        m.axis != 0 ? "axis " + std::to_string(m.axis) : "no axis (axis code " + Hex2(code) + ")";
    if (m.count == 0 || countInRange)
        text += ", count " + Signed(m.count);
    else
        text += ", count byte " + Hex2(byte) + " (" + Signed(m.count) + ") outside -31..+31";
    if (m.moves)
        text += ": moves set 2 axis " + std::to_string(m.axis) + " by " + Signed(m.count);
    else
        text += ": moves nothing";
    if (length < 5)
        text += " (short report: bytes " + std::to_string(length) + " to 4 read as 0)";
    m.text = text;
    return m;
}

int DecodeFrameCommand(const std::string& text, bool fromStandardInput, std::ostream& out,
                       std::ostream& err) {
    std::vector<std::uint8_t> bytes;
    for (const auto& [lineNo, line] : LinesToRead(text, FrameLine)) {
        bool carries = true;
        const std::string problem = play::ParseHexBytes(LineBytes(line, carries), bytes);
        if (!problem.empty()) {
            err << "pendant-sim: " << Where(fromStandardInput, lineNo) << problem << "\n";
            return 2;
        }
    }
    if (bytes.empty() || bytes.size() % DisplayFrameBytes != 0) {
        err << "pendant-sim: got " << bytes.size()
            << " bytes; a display frame is 48 bytes (six reports of 8)\n";
        return 2;
    }
    int status = 0;
    std::ostringstream decoded;
    for (std::size_t at = 0; at < bytes.size(); at += DisplayFrameBytes) {
        protocol::DecodedDisplay display;
        const std::string why = protocol::DecodeDisplayFrame(bytes.data() + at, display);
        decoded << protocol::FormatDisplay(display) << "\n";
        if (!why.empty()) {
            decoded << "  malformed: " << why << "\n";
            status = 1;
        }
    }
    out << decoded.str();
    return status;
}

int EncodeFrameCommand(const std::vector<std::string>& values, std::ostream& out,
                       std::ostream& err) {
    if (values.size() != 10) {
        err << "pendant-sim: encode-frame takes ten values: three coordinates of set 1, three "
               "of set 2, four words; got "
            << values.size() << "\n";
        return 2;
    }
    protocol::DisplayValues v;
    const int bad = play::ParseDisplayValues(values, v);
    if (bad >= 0) {
        err << "pendant-sim: value " << bad + 1 << " \"" << values[static_cast<std::size_t>(bad)]
            << (bad < 6 ? "\" is not a coordinate (a 32-bit float)\n"
                        : "\" is not a word (0 to 65535)\n");
        return 2;
    }
    out << FormatFrame(protocol::BuildFrame(v).data()) << "\n";
    return 0;
}

int DecodeReportCommand(const std::string& lines, bool fromStandardInput, std::ostream& out,
                        std::ostream& err) {
    std::ostringstream decoded;
    int reports = 0;
    for (const auto& [lineNo, line] : LinesToRead(lines, TraceLine)) {
        bool carries = true;
        std::vector<std::uint8_t> bytes;
        std::string problem = play::ParseHexBytes(LineBytes(line, carries), bytes);
        if (problem.empty() && bytes.size() > InputReportBytes)
            problem = "got " + std::to_string(bytes.size()) + " bytes; an input report is 1 to " +
                      std::to_string(InputReportBytes) + " (the tool reads no more)";
        if (problem.empty() && !carries)
            problem = "a display frame's values, not a report";
        if (!problem.empty()) {
            // Nothing of a batch with a bad line: a partial answer would
            // pass for a whole one.
            err << "pendant-sim: " << Where(fromStandardInput, lineNo) << problem << "\n";
            return 2;
        }
        if (bytes.empty())
            continue;
        ++reports;
        decoded << protocol::HexBytes(bytes) << " -> "
                << DescribeReport(bytes.data(), bytes.size()).text << "\n";
    }
    if (reports == 0) {
        err << "pendant-sim: no report given (hex bytes, one report per line)\n";
        return 2;
    }
    out << decoded.str();
    return 0;
}

} // namespace sim
