#include "app/options.h"

#include <cstdio>
#include <string>

#include "pendant_version.h"

ToolOptions ParseOptions(int argc, const char* const* argv) {
    ToolOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--reconnect")
            options.reconnect = true;
        else if (a == "--check")
            options.check = true;
        else if (a == "--hid")
            options.hid = true;
        else if (a == "--list")
            options.list = true;
        else if (a == "--help" || a == "-h")
            options.help = true;
        else if (a == "--version")
            options.version = true;
    }
    return options;
}

void PrintHelp() {
    std::printf(
        "usage: pendant-test [--hid] [--reconnect]\n"
        "       pendant-test [--hid] --check [--step-timeout S] [--report FILE] [--no-person]\n"
        "       pendant-test --list | -h | --help | --version\n"
        "Finds the pendant, prints a report of its USB interface and endpoints, keeps its\n"
        "display up to date and prints one trace line per input report, until Ctrl+C.\n"
        "\n"
        "Options:\n"
        "  --hid             reach the pendant through the system's HID driver, not WinUSB\n"
        "  --list            list the pendants either way finds (path, USB id, way)\n"
        "  --reconnect       follow the pendant across an unplug; wait for one not there\n"
        "  --check           check the pendant step by step, with a verdict, instead\n"
        "  --step-timeout S  with --check: each wait ends after S seconds (1 to 3600; 30)\n"
        "  --report FILE     with --check: write the check's record as JSON to FILE\n"
        "  --no-person       with --check: skip the steps that need a person's eyes or hands\n"
        "  -h, --help        print this help and exit\n"
        "  --version         print the version and exit\n"
        "Other arguments are ignored.\n"
        "\n"
        "Exit status:\n"
        "  0    the pendant could not be opened (after the word read at the end);\n"
        "       --check: every step that ran passed; --list: a pendant listed\n"
        "  1    --check: a step failed, or the record could not be written;\n"
        "       --list: none found\n"
        "  2    --check: no pendant opened, or a wrong option\n"
        "  130  --check: ended with Ctrl+C\n"
        "With a pendant and without --check, it runs until it is ended.\n"
        "\n"
        "Docs: %s\n",
        PendantDocs);
}

void PrintVersion() {
    std::printf("%s\n", VersionLine("pendant-test").c_str());
}
