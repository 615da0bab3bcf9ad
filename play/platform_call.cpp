#include "play/platform_call.h"

namespace play {

namespace {

struct CallNamed {
    std::string_view name;
    Call call;
};
constexpr CallNamed CallNames[] = {
#define PLATFORM_CALL_NAME(name) {#name, Call::name},
#include "play/platform_call_names.inc"
#undef PLATFORM_CALL_NAME
};

} // namespace

bool FindCall(std::string_view name, Call& call) {
    for (const CallNamed& c : CallNames)
        if (name == c.name) {
            call = c.call;
            return true;
        }
    return false;
}

} // namespace play
