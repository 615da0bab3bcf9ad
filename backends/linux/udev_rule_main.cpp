// pendant-test-udev-rule VID:PID [FILE]
// Writes the udev rule that lets pendant-test find and open the pendant
// VID:PID without root: to FILE, or to standard output.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "backends/linux/udev_rule.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr,
                     "usage: %s VID:PID [FILE]\n"
                     "Writes the udev rule for the pendant with USB id VID:PID (hexadecimal)\n"
                     "to FILE or to standard output. Install it as\n"
                     "/etc/udev/rules.d/%s, then run\n"
                     "  udevadm control --reload && udevadm trigger\n"
                     "and plug the pendant in again.\n",
                     argv[0], linux_backend::RuleFileName);
        return 2;
    }
    const auto id = linux_backend::ParseUsbId(argv[1]);
    if (!id) {
        std::fprintf(stderr, "%s: '%s' is not a USB id like 1234:abcd\n", argv[0], argv[1]);
        return 2;
    }
    const std::string rule = linux_backend::UdevRule(linux_backend::ShippedRuleTemplate(), *id);
    if (argc == 2) {
        std::cout << rule << std::flush;
        return std::cout ? 0 : 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << rule;
    out.close();
    if (!out) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
