// The protocol tables every suite checks: payload coordinates and jog
// decisions. One copy, shared by the core suite and the suite built for
// Windows, so a row added here is checked on every platform. Header-only:
// plain types, no test framework.
#pragma once

#include <cstdint>
#include <ostream>

// A coordinate as the display payload carries it: integer word, fraction
// word (1/10000, bit 15 the sign), after rounding to three decimals.
struct CoordinateCase {
    float value;
    std::uint16_t whole;
    std::uint16_t fraction;
};

inline void PrintTo(const CoordinateCase& c, std::ostream* os) {
    *os << c.value;
}

// The single-precision product shows in 2.0005, 0.0005 and -0.0004; a
// compiler that keeps it in a wider register (x87) gets them wrong.
inline constexpr CoordinateCase CoordinateCases[] = {
    {2.0005f, 2, 0x000A},     {0.0025f, 0, 0x001E},         {-2.0005f, 2, 0x800A},
    {1.0005f, 1, 0x0000},     {1024.003f, 1024, 0x001F},    {12345.678f, 12345, 0x1A79},
    {0.0f, 0, 0x0000},        {-0.0f, 0, 0x0000},           {0.0004f, 0, 0x0000},
    {0.0005f, 0, 0x000A},     {-0.0005f, 0, 0x800A},        {1.2345f, 1, 0x092E},
    {1.23449f, 1, 0x0924},    {-1.5f, 1, 0x9388},           {-123.4567f, 123, 0x91DA},
    {65535.9999f, 0, 0x0000}, {99999.9999f, 34464, 0x0000}, {-0.0004f, 0, 0x0000},
};

// One input report with byte 3 = axisCode and byte 4 = delta, read by a
// record whose CoordSet2 is (10, 20, 30) and whose display is clean.
struct JogCase {
    std::uint8_t axisCode;
    std::uint8_t delta;
    float expected[3]; // CoordSet2 afterwards
    bool dirty;
};

inline void PrintTo(const JogCase& c, std::ostream* os) {
    *os << std::hex << "axis code 0x" << int(c.axisCode) << ", count 0x" << int(c.delta);
}

inline constexpr JogCase JogCases[] = {
    {0x11, 0x01, {11, 20, 30}, true},  {0x12, 0x05, {10, 25, 30}, true},
    {0x13, 0x1F, {10, 20, 61}, true},  {0x11, 0xFF, {9, 20, 30}, true},
    {0x12, 0xE1, {10, -11, 30}, true}, {0x13, 0xF0, {10, 20, 14}, true},
    {0x11, 0x00, {10, 20, 30}, false}, {0x12, 0x20, {10, 20, 30}, false},
    {0x12, 0x80, {10, 20, 30}, false}, {0x13, 0xE0, {10, 20, 30}, false},
    {0x10, 0x05, {10, 20, 30}, false}, {0x14, 0x05, {10, 20, 30}, false},
    {0x00, 0x01, {10, 20, 30}, false}, {0xFF, 0xFF, {10, 20, 30}, false},
};
