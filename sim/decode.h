// The decode helper for captures: display frames to values and back, and
// input reports to what the tool makes of them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// "06 FE FD 0F 01 00 88 13 | 06 ...": the six reports, bars between them.
std::string FormatFrame(const std::uint8_t* frame48);

// What the tool does with one input report it reads.
struct ReportMeaning {
    int axis = 0;  // 1..3, or 0 when the axis code selects none
    int count = 0; // the count byte as a signed 8-bit number
    bool moves = false;
    std::string text; // one line, e.g. "axis 2, count +2: moves set 2 axis 2 by +2"
};
// Bytes the read did not deliver count as zero, as in the tool.
ReportMeaning DescribeReport(const std::uint8_t* report, std::size_t length);

// The hex of one line as the tools print it: the bytes after "Read from
// rk27:" of a trace line (wherever it starts: the survey's last line runs
// into the first one), after "[frame N]" of script mode, or the whole line
// (capture hex, with or without separators). Script mode's values line
// ("[frame N] set1 ...") carries no bytes: carries is then false.
std::string_view LineBytes(std::string_view line, bool& carries);

// The three helper commands; each returns its exit status (0 fine, 1 a frame
// is malformed, 2 the input is not what the command takes, said on err and
// with nothing on out). fromStandardInput: problems name their line.
// Hex of whole 48-byte frames (over as many lines as they take), one
// decoded line each.
int DecodeFrameCommand(const std::string& text, bool fromStandardInput, std::ostream& out,
                       std::ostream& err);
// Ten values (three coordinates of set 1, three of set 2, four words).
int EncodeFrameCommand(const std::vector<std::string>& values, std::ostream& out,
                       std::ostream& err);
// One report (1 to 64 bytes) per line of text.
int DecodeReportCommand(const std::string& lines, bool fromStandardInput, std::ostream& out,
                        std::ostream& err);

} // namespace sim
