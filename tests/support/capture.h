// Test support for every C++ suite, on Linux and on Windows (under Wine):
// standard output capture and a hex formatter. No platform headers, so the
// Windows suites include it beside <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

// Everything fn printed to standard output, line ends as "\n" (the Windows
// runtime's "\r\n" read back as "\n").
std::string CaptureStdout(const std::function<void()>& fn);

// "21 09 06 03" style hex of bytes, for readable failure messages; with
// group, " | " after every group bytes ("06 FE FD 0F 00 00 00 00 | 06 ...",
// one display report per group of 8): protocol::HexBytes, as the programs
// write bytes.
std::string Hex(std::span<const std::uint8_t> bytes, std::size_t group = 0);
