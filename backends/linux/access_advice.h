// One line of Linux advice after the tool's own "access denied" message.
//
// The core prints its failure lines unchanged and then reads a word from
// standard input. When opening the device node was refused, the backend
// arms this advice; it is printed the first time anything is read from
// std::cin, which is right after the core's "nothing to do..." line, so the
// core's messages stay exactly as on Windows.
#pragma once

#include <memory>
#include <streambuf>
#include <string>

namespace linux_backend {

// The advice line for a device node that could not be opened (with '\n').
std::string AccessAdvice(const std::string& devicePath);

// A buffer that reads through `inner` and prints `advice` to standard output
// once, before the first character is asked for.
std::unique_ptr<std::streambuf> MakeAdvisingBuffer(std::streambuf* inner, std::string advice);

// Arms the advice for the next read from std::cin (once per process).
void ArmAccessAdvice(const std::string& devicePath);

} // namespace linux_backend
