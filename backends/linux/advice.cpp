// The Linux backend's advice after the tool's failure messages.
#include <cstdio>
#include <string>
#include <utility>

#include "backends/linux/handles.h"
#include "usb/platform_advice.h"

namespace {
std::string advice;
} // namespace

namespace linux_backend {

void AdviseLater(std::string text) {
    advice = std::move(text);
}

void RememberRefusedNode(const std::string& path) {
    AdviseLater(AccessAdvice(path));
}

std::string AccessAdvice(const std::string& devicePath) {
    // Discovery found the node through the property that the pendant's udev
    // rule sets, so the rule is in place: what is missing is the user's
    // access, which the rule gives to the local seat only.
    return "Linux: this user may not open the pendant's device node " + devicePath +
           ". Its udev rule gives access to the user logged in at the local seat: log in "
           "there, or give a group access as docs/linux.md (Running without root) describes.\n";
}

} // namespace linux_backend

void PrintPlatformAdvice() {
    if (advice.empty())
        return;
    std::fputs(advice.c_str(), stderr);
    advice.clear();
}
