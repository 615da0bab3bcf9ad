// pendant-gadget: the pendant itself, on any Linux machine with a USB device
// controller. It builds a configfs gadget with one FunctionFS function, plugs
// it in, answers the host's display reports (decoding every frame) and sends
// input reports: from the keys on a terminal, or from a script
// (docs/gadget.md), with the keys, screen and script language it shares
// with pendant-sim (play/). On its way out, by the end of the script, q, or
// SIGINT, SIGTERM or SIGHUP, it takes the gadget down again.
#include <CLI/CLI.hpp>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "gadget/log.h"
#include "gadget/run.h"
#include "pendant_version.h"
#include "play/commands.h"
#include "play/script.h"

int main(int argc, char** argv) {
    CLI::App app{"pendant-gadget: the pendant, as a USB gadget of this machine.\n"
                 "On a terminal: its display as the host sends it, keys for its wheel and "
                 "axis selector.\nOtherwise: commands of the script language from standard "
                 "input, one a line.",
                 "pendant-gadget"};
    gadget::GadgetOptions options;
    gadget::Layout layout;
    std::string scriptName, logName, extra, extraClass = "vendor", unanswered;
    bool unplugged = false, stamp = false, commands = false;
    app.add_option("--vid", options.vid,
                   "USB vendor id (default 0x1209, with --pid 0x0001 an "
                   "id reserved for testing)")
        ->check(CLI::Range(0, 0xFFFF));
    app.add_option("--pid", options.pid, "USB product id")->check(CLI::Range(0, 0xFFFF));
    app.add_option("--name", options.name, "Name of the gadget in configfs (default pendant)")
        ->check([](const std::string& n) {
            return n.empty() || n.find_first_of("/. ") != std::string::npos
                       ? std::string("a name without /, . or blanks")
                       : std::string();
        });
    app.add_option("--udc", options.udc, "USB device controller (default: the first)");
    app.add_option("--packet-size", layout.packetSize,
                   "Packet size of the interrupt IN endpoint (default 8)")
        ->check(CLI::Range(1, 64));
    app.add_option("--report-size", layout.reportBytes,
                   "Size of the input report, with its id, as the report descriptor declares it "
                   "(default 8); jog makes reports of it, report takes no other")
        ->check(CLI::Range(1, 64));
    app.add_flag("--raw", layout.raw,
                 "Send reports of any length as given, as a malformed pendant would (each "
                 "logged IN-RAW)");
    app.add_flag("--zlp", layout.zeroLengthPacket,
                 "A zero-length packet after every report that fills its last packet, as the "
                 "kernel's HID gadget function sends (default: after those longer than a packet)");
    app.add_option("--hid-length", layout.hidLength,
                   "The report descriptor's length as the HID descriptor declares it, as a "
                   "faulty pendant gets it wrong (default: its real length)")
        ->check(CLI::Range(0, 0xFFFF));
    app.add_option("--interval", layout.interval,
                   "bInterval of the interrupt IN endpoint at both speeds (default: 1 ms, "
                   "1 at full speed and 4 at high speed)")
        ->check(CLI::Range(0, 255));
    app.add_option("--unanswered", unanswered,
                   "Take this HID class request and never answer nor stall it, so that the "
                   "host's control transfer times out")
        ->check(CLI::IsMember({"set-idle", "get-report"}));
    auto* extraOption = app.add_option("--extra-interface", extra,
                                       "A second interface, before or after the "
                                       "pendant's")
                            ->check(CLI::IsMember({"before", "after"}));
    app.add_option("--extra-class", extraClass, "Its class: vendor (default) or hid")
        ->check(CLI::IsMember({"vendor", "hid"}))
        ->needs(extraOption);
    app.add_flag("--unplugged", unplugged, "Start unplugged (replug plugs it in)");
    auto* scriptOption = app.add_option("--script", scriptName,
                                        "Run a script (a file, or - for standard input, one "
                                        "line at a time); then end")
                             ->type_name("FILE|-");
    app.add_option("--log", logName,
                   "Write the log to FILE (default: standard output; none on "
                   "the terminal screen)");
    app.add_flag("--stamp", stamp, "Start every log line with [microseconds]");
    app.add_flag("--commands", commands, "List the script commands")->excludes(scriptOption);
    app.set_version_flag("--version", std::string("pendant-gadget ") + PendantVersion,
                         "Print the version and exit");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : gadget::BadInput;
    }
    if (commands) {
        std::fputs(play::CommandSummary(play::Dialect::Gadget).c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : gadget::Failed;
    }
    layout.extra = extra.empty()       ? gadget::Extra::None
                   : extra == "before" ? gadget::Extra::Before
                                       : gadget::Extra::After;
    layout.extraHid = extraClass == "hid";
    layout.unanswered = unanswered.empty()         ? gadget::Unanswered::None
                        : unanswered == "set-idle" ? gadget::Unanswered::SetIdle
                                                   : gadget::Unanswered::GetReport;

    // A script file is read whole before the gadget is built, so that a bad
    // line costs nothing.
    play::Script script;
    const bool fromFile = !scriptName.empty() && scriptName != "-";
    std::string problem;
    if (fromFile && !play::LoadScript(scriptName, play::Dialect::Gadget, script, problem,
                                      layout.raw ? 0 : layout.reportBytes)) {
        std::fprintf(stderr, "pendant-gadget: %s\n", problem.c_str());
        return gadget::BadInput;
    }
    const bool interactive =
        scriptName.empty() && isatty(STDIN_FILENO) != 0 && isatty(STDOUT_FILENO) != 0;
    std::FILE* log = interactive ? nullptr : stdout;
    if (!logName.empty() && (log = std::fopen(logName.c_str(), "w")) == nullptr) {
        std::fprintf(stderr, "pendant-gadget: cannot write the log %s: %s\n", logName.c_str(),
                     std::strerror(errno));
        return gadget::BadInput;
    }
    gadget::SetLogFile(log);
    gadget::SetStamp(stamp);

    gadget::CatchEndingSignals();
    int status = gadget::Run(options, layout, unplugged, fromFile ? &script : nullptr, scriptName,
                             interactive);
    const std::string lost = gadget::LogProblem();
    if (!lost.empty()) {
        std::fprintf(stderr, "pendant-gadget: %s\n", lost.c_str());
        status = status == 0 ? gadget::Failed : status;
    }
    gadget::EndBySignal();
    return status;
}
