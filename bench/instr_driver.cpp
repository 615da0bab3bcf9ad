// Runs one operation of the core many times on the null backend, for
// callgrind to count its instructions:
//
//   valgrind --tool=callgrind --collect-atstart=no --toggle-collect='RunTurn*'
//            pendant-instr idle 1000 10000
//
// (--toggle-collect='RunReconnectingTurn*' for away and away-look) collects
// only while RunTurn runs (its callees included); adding
// --toggle-collect=printf --toggle-collect=fflush also leaves out the
// printing of the trace line. The survey report and the trace lines go to
// standard output. The first WARMUP
// runs settle one-off costs (lazy symbol binding, first-touch of pages);
// then the counters are zeroed, COUNT runs follow, and the counters are
// dumped, so the dump holds exactly COUNT operations. Without valgrind the
// client requests do nothing and the program is a plain smoke run. Exit
// status 0 only when the backend saw the calls the operation implies.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/entry.h"
#include "app/reconnect.h"
#include "backends/null/null_backend.h"
#include "bench/fixture.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: pendant-instr OPERATION WARMUP COUNT\n"
                 "operations: idle idle-hid jog dirty away away-look build-frame encode-fixed "
                 "encode-coordinate\n");
    return 2;
}

bool Expect(bool ok, const char* what) {
    if (!ok)
        std::fprintf(stderr, "pendant-instr: %s\n", what);
    return ok;
}

// Runs body warmup times, zeroes callgrind's counters, runs it count times
// and dumps them under the operation's name.
template <typename Body>
void Measure(const std::string& op, unsigned long warmup, unsigned long count, Body body) {
    for (unsigned long i = 0; i < warmup; ++i)
        body(i);
    CALLGRIND_ZERO_STATS;
    for (unsigned long i = 0; i < count; ++i)
        body(i);
    CALLGRIND_DUMP_STATS_AT(op.c_str());
}

bool Turns(const std::string& op, unsigned long warmup, unsigned long count) {
    PendantDevice device;
    bench::OpenNullPendant(device);
    const unsigned long turns = warmup + count;
    if (op == "idle-hid") {
        // --hid: the read the first turn starts stays under way.
        PendantDevice hid;
        bench::OpenNullPendant(hid, true);
        RunTurn(hid);
        null_backend::ResetCalls();
        Measure(op, warmup, count, [&](unsigned long) { RunTurn(hid); });
        const auto calls = null_backend::Calls();
        return Expect(calls.reads == 0 && calls.controlTransfers == 0 && hid.ReadPending,
                      "idle turns on the HID path made a read, or none was under way");
    }
    if (op == "idle") {
        null_backend::ResetCalls();
        Measure(op, warmup, count, [&](unsigned long) { RunTurn(device); });
        const auto calls = null_backend::Calls();
        return Expect(calls.reads == turns && calls.controlTransfers == 0,
                      "idle turns made other calls than one read each");
    }
    if (op == "dirty") {
        bench::SetBusyDisplay(device);
        null_backend::ResetCalls();
        Measure(op, warmup, count, [&](unsigned long) {
            device.DisplayDirty = true;
            RunTurn(device);
        });
        const auto calls = null_backend::Calls();
        return Expect(calls.reads == turns && calls.controlTransfers == 6 * turns,
                      "dirty turns did not make six transfers and one read each");
    }
    if (op == "jog") {
        null_backend::SetReport(bench::JogReport, sizeof bench::JogReport);
        null_backend::ResetCalls();
        Measure(op, warmup, count, [&](unsigned long) {
            device.DisplayDirty = false;
            device.CoordSet2[1] = 0.0f;
            RunTurn(device);
        });
        const auto calls = null_backend::Calls();
        return Expect(calls.reads == turns && calls.controlTransfers == 0 &&
                          device.CoordSet2[1] == 1.0f && device.DisplayDirty,
                      "jog turns did not read and move axis 2 once each");
    }
    if (op == "away" || op == "away-look") {
        // Unplugged under --reconnect: the read that finds it gone closes
        // it, then every turn is a turn away. The null backend's clock never
        // moves, so away makes no discovery after the first; away-look
        // makes the once-a-second one (failing) every turn.
        const bool look = op == "away-look";
        Reconnection state;
        null_backend::SetUnplugged(true);
        RunReconnectingTurn(device, state);
        RunReconnectingTurn(device, state);
        null_backend::ResetCalls();
        Measure(op, warmup, count, [&](unsigned long) {
            if (look)
                state.looked = false;
            RunReconnectingTurn(device, state);
        });
        null_backend::SetUnplugged(false);
        const auto calls = null_backend::Calls();
        return Expect(state.away && calls.reads == 0 && calls.discoveries == (look ? turns : 0),
                      "turns away read, or did not look as often as asked");
    }
    return Expect(false, "unknown operation");
}

bool Encoders(const std::string& op, unsigned long warmup, unsigned long count) {
    std::uint8_t out[4];
    if (op == "build-frame") {
        PendantDevice device;
        bench::SetBusyDisplay(device);
        DisplayFrame frame;
        Measure(op, warmup, count, [&](unsigned long) { device.BuildDisplayFrame(frame); });
        // Report 0 carries the header and the first coordinate, 1.5.
        return Expect(frame[0] == 0x06 && frame[1] == 0xFE && frame[4] == 0x01 && frame[7] == 0x13,
                      "the frame is not the busy display's");
    }
    auto encode = op == "encode-fixed" ? EncodeFixed : EncodeCoordinate;
    int written = 0;
    Measure(op, warmup, count,
            [&](unsigned long i) { written += encode(bench::EncoderValues[i & 7], out); });
    return Expect(written == static_cast<int>(4 * (warmup + count)), "an encoder did not write 4");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return Usage();
    const std::string op = argv[1];
    const unsigned long warmup = std::strtoul(argv[2], nullptr, 10);
    const unsigned long count = std::strtoul(argv[3], nullptr, 10);
    bool ok;
    if (op == "idle" || op == "idle-hid" || op == "dirty" || op == "jog" || op == "away" ||
        op == "away-look")
        ok = Turns(op, warmup, count);
    else if (op == "build-frame" || op == "encode-fixed" || op == "encode-coordinate")
        ok = Encoders(op, warmup, count);
    else
        return Usage();
    return ok ? 0 : 1;
}
