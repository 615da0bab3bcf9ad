// Reading the simulator's input: hex bytes as captures write them, and
// numbers, independent of the locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/display.h"

namespace play {

// Appends the bytes written in text to out. Accepts what captures and the
// tool look like: "06 FE FD 0F", "06FEFD0F", "0x06,0xfe", reports separated
// by "|", and the tool's trace lines' "4 0 0 12". A token without 0x is one
// byte of one digit, or whole bytes (an even number of digits); with 0x, one
// byte of one or two digits. Returns "" or what is wrong with the text.
std::string ParseHexBytes(std::string_view text, std::vector<std::uint8_t>& out);

// The runs of text between separators.
std::vector<std::string_view> Tokens(std::string_view text, bool (*separator)(char));

// Whole-token parses; false when text is not such a number or out of range.
// Floats take what C++ reads ("1.5", "-2e3", "inf", "nan"), and a leading +.
bool ParseFloat(std::string_view text, float& value);
// Decimal, or hex with 0x.
bool ParseUnsigned(std::string_view text, unsigned long long max, unsigned long long& value);
bool ParseSigned(std::string_view text, long long min, long long max, long long& value);

// The ten display values in the order the tool's setters take them: three
// coordinates of set 1, three of set 2, four words (0 to 65535). ten holds
// ten words. Returns -1, or the index of the first that is not a coordinate
// (0 to 5) or a word (6 to 9); the caller says so in its own words.
int ParseDisplayValues(const std::vector<std::string>& ten, protocol::DisplayValues& values);

} // namespace play
