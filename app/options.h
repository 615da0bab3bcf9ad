// What pendant-test's command line asks for. Arguments it does not know are
// ignored, as the tool has always done; the check reads its own options
// (check/check.h).
#pragma once

struct ToolOptions {
    // --reconnect: follow the pendant across an unplug (app/reconnect.h)
    // instead of reading a dead handle until restarted.
    bool reconnect = false;
    // --check: the guided check (check/check.h) instead of the loop.
    bool check = false;
    // --hid: reach the pendant through the system's own HID driver, found
    // among HID devices by its reports, rather than through WinUSB under
    // its interface GUID.
    bool hid = false;
    // --list: list the pendants either way would find, and exit.
    bool list = false;
    // -h or --help, --version: print and exit 0, touching no device.
    bool help = false;
    bool version = false;
};
ToolOptions ParseOptions(int argc, const char* const* argv);

// The usage, every option, the exit statuses and where the docs are.
void PrintHelp();
// "pendant-test VERSION", as every program of the project prints it.
void PrintVersion();
