// The platform calls a script may fail (fail CALL), by the names the
// platform spells them (WinUsb_ReadPipe). The names are read out of the one
// list of the platform calls when the build is configured, without their
// types (cmake/platform_call_names.cmake), so the toolkit reaches no
// platform; pendant-sim turns a Call into the platform's own
// (sim/virtual_port.h), name for name.
#pragma once

#include <string_view>

namespace play {

enum class Call {
#define PLATFORM_CALL_NAME(name) name,
#include "play/platform_call_names.inc"
#undef PLATFORM_CALL_NAME
};

// The call of that name; false when no call has it.
bool FindCall(std::string_view name, Call& call);

} // namespace play
