// The stand-in header's pure helpers (HRESULT_FROM_WIN32, StringCbCopyA),
// compiled for Windows beside the real ones so that tests can hold the two
// against each other. Plain types only: this header meets <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

namespace standin_helpers {
std::int32_t HresultFromWin32(unsigned long code);
std::int32_t CopyString(char* dest, std::size_t destBytes, const char* src);
} // namespace standin_helpers
