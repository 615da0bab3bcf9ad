// Compiles the stand-in in a namespace of its own; this file never sees
// <windows.h>, so the stand-in's names and macros meet nothing real here.
#include "standin_helpers.h"

namespace standin {
#include "usb/standin/winapi_standin.h"
} // namespace standin

namespace standin_helpers {

std::int32_t HresultFromWin32(unsigned long code) {
    return standin::HRESULT_FROM_WIN32(code);
}

std::int32_t CopyString(char* dest, std::size_t destBytes, const char* src) {
    return standin::StringCbCopyA(dest, destBytes, src);
}

} // namespace standin_helpers
