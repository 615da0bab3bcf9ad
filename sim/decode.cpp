#include "sim/decode.h"

#include <cstdio>
#include <ostream>
#include <sstream>

#include "pendant/pendant_device.h"
#include "pendant_side/pendant_side.h"
#include "sim/parse.h"

namespace sim {

namespace {

constexpr std::uint8_t AxisCodeFirst = 0x11;
constexpr std::uint8_t AxisCodeLast = 0x13;
constexpr int JogMaxCount = 31;

std::string Signed(int n) {
    return (n > 0 ? "+" : "") + std::to_string(n);
}

std::string Hex2(unsigned byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte & 0xFFU);
    return text;
}

} // namespace

std::array<std::uint8_t, 48> EncodeFrame(const DisplayValues& values) {
    PendantDevice device;
    device.SetCoordSet1Axis1(values.coordSet1[0]);
    device.SetCoordSet1Axis2(values.coordSet1[1]);
    device.SetCoordSet1Axis3(values.coordSet1[2]);
    device.SetCoordSet2Axis1(values.coordSet2[0]);
    device.SetCoordSet2Axis2(values.coordSet2[1]);
    device.SetCoordSet2Axis3(values.coordSet2[2]);
    device.SetDisplayWord0(values.words[0]);
    device.SetDisplayWord1(values.words[1]);
    device.SetDisplayWord2(values.words[2]);
    device.SetDisplayWord3(values.words[3]);
    std::array<std::uint8_t, 48> frame{};
    device.BuildDisplayFrame(frame.data());
    return frame;
}

std::string FormatFrame(const std::uint8_t* frame48) {
    return HexBytes(frame48, pendant_side::FrameBytes, pendant_side::ReportBytes);
}

ReportMeaning DescribeReport(const std::uint8_t* report, std::size_t length) {
    const unsigned code = length > 3 ? report[3] : 0;
    const unsigned byte = length > 4 ? report[4] : 0;
    ReportMeaning m;
    m.axis = code >= AxisCodeFirst && code <= AxisCodeLast ? static_cast<int>(code) - 0x10 : 0;
    m.count = byte < 128 ? static_cast<int>(byte) : static_cast<int>(byte) - 256;
    const bool countInRange = m.count != 0 && m.count >= -JogMaxCount && m.count <= JogMaxCount;
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

int DecodeFrameCommand(const std::string& hex, std::ostream& out, std::ostream& err) {
    std::vector<std::uint8_t> bytes;
    const std::string problem = ParseHexBytes(hex, bytes);
    if (!problem.empty()) {
        err << "pendant-sim: " << problem << "\n";
        return 2;
    }
    if (bytes.empty() || bytes.size() % pendant_side::FrameBytes != 0) {
        err << "pendant-sim: got " << bytes.size()
            << " bytes; a display frame is 48 bytes (six reports of 8)\n";
        return 2;
    }
    int status = 0;
    for (std::size_t at = 0; at < bytes.size(); at += pendant_side::FrameBytes) {
        pendant_side::DecodedDisplay display;
        const std::string why = pendant_side::DecodeDisplayFrame(bytes.data() + at, display);
        out << pendant_side::FormatDisplay(display) << "\n";
        if (!why.empty()) {
            out << "  malformed: " << why << "\n";
            status = 1;
        }
    }
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
    DisplayValues v;
    for (int k = 0; k < 6; ++k) {
        float& slot = k < 3 ? v.coordSet1[k] : v.coordSet2[k - 3];
        if (!ParseFloat(values[k], slot)) {
            err << "pendant-sim: value " << k + 1 << " \"" << values[k]
                << "\" is not a coordinate (a 32-bit float)\n";
            return 2;
        }
    }
    for (int j = 0; j < 4; ++j) {
        unsigned long long word = 0;
        if (!ParseUnsigned(values[6 + j], 0xFFFF, word)) {
            err << "pendant-sim: value " << 7 + j << " \"" << values[6 + j]
                << "\" is not a word (0 to 65535)\n";
            return 2;
        }
        v.words[j] = static_cast<std::uint16_t>(word);
    }
    out << FormatFrame(EncodeFrame(v).data()) << "\n";
    return 0;
}

int DecodeReportCommand(const std::string& lines, std::ostream& out, std::ostream& err) {
    std::istringstream in(lines);
    std::string line;
    int lineNo = 0;
    int reports = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        std::vector<std::uint8_t> bytes;
        const std::string problem = ParseHexBytes(line, bytes);
        if (!problem.empty()) {
            err << "pendant-sim: line " << lineNo << ": " << problem << "\n";
            return 2;
        }
        if (bytes.empty())
            continue;
        ++reports;
        // The tool reads at most 64 bytes; the rest never reaches it.
        const std::size_t length =
            bytes.size() < InputReportBytes ? bytes.size() : InputReportBytes;
        out << HexBytes(bytes.data(), bytes.size()) << " -> "
            << DescribeReport(bytes.data(), length).text << "\n";
    }
    if (reports == 0) {
        err << "pendant-sim: no report given (hex bytes, one report per line)\n";
        return 2;
    }
    return 0;
}

} // namespace sim
