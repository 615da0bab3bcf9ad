// Times of the core's hot paths on the null backend, with Google Benchmark.
// The instruction counts beside them come from instr_driver.cpp under
// callgrind; scripts/bench.sh runs both and prints the table.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "app/entry.h"
#include "app/reconnect.h"
#include "backends/null/null_backend.h"
#include "bench/fixture.h"
#include "bench/quiet_stdout.h"

namespace {

// Points file descriptor 1 at /dev/null for a scope, so the trace line is
// formatted and written as usual but goes nowhere, while the benchmark's own
// report, written before and after, still reaches the terminal.
class StdoutToDevNull {
  public:
    StdoutToDevNull() {
        std::cout.flush();
        std::fflush(stdout);
        saved_ = dup(1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~StdoutToDevNull() {
        std::fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
    }
    StdoutToDevNull(const StdoutToDevNull&) = delete;
    StdoutToDevNull& operator=(const StdoutToDevNull&) = delete;

  private:
    int saved_;
};

void OpenQuietly(PendantDevice& device, bool hid = false) {
    bench::Muted quiet;
    bench::OpenNullPendant(device, hid);
}

// Fails the benchmark when the backend saw other calls than the turn implies.
void CheckCalls(benchmark::State& state, std::uint64_t readsPerTurn,
                std::uint64_t transfersPerTurn) {
    const auto calls = null_backend::Calls();
    const auto turns = static_cast<std::uint64_t>(state.iterations());
    if (calls.reads != readsPerTurn * turns || calls.controlTransfers != transfersPerTurn * turns)
        state.SkipWithError("the backend saw other calls than this turn makes");
}

void IdleTurn(benchmark::State& state) {
    PendantDevice device;
    OpenQuietly(device);
    null_backend::SetReport(nullptr, 0);
    null_backend::ResetCalls();
    for (auto _ : state)
        RunTurn(device);
    CheckCalls(state, 1, 0);
}
BENCHMARK(IdleTurn);

// The same on the system's HID driver (--hid): the read started on the
// first turn stays under way, so a turn is one wait and no read.
void IdleTurnHid(benchmark::State& state) {
    PendantDevice device;
    OpenQuietly(device, true);
    null_backend::SetReport(nullptr, 0);
    RunTurn(device);
    null_backend::ResetCalls();
    for (auto _ : state)
        RunTurn(device);
    CheckCalls(state, 0, 0);
    if (!device.ReadPending)
        state.SkipWithError("no read under way");
}
BENCHMARK(IdleTurnHid);

// A jog report every turn; the display is marked clean again before each
// turn (one store), so every measured turn is a read-and-decode turn and
// never the display send that would follow it.
void JogTurn(benchmark::State& state) {
    PendantDevice device;
    OpenQuietly(device);
    null_backend::SetReport(bench::JogReport, sizeof bench::JogReport);
    null_backend::ResetCalls();
    for (auto _ : state) {
        device.DisplayDirty = false;
        device.CoordSet2[1] = 0.0f;
        RunTurn(device);
    }
    null_backend::SetReport(nullptr, 0);
    CheckCalls(state, 1, 0);
    if (device.CoordSet2[1] != 1.0f || !device.DisplayDirty)
        state.SkipWithError("the jog report did not move axis 2");
}

void JogTurnTraceToDevNull(benchmark::State& state) {
    StdoutToDevNull devNull;
    JogTurn(state);
}
BENCHMARK(JogTurnTraceToDevNull);

void JogTurnWithoutTrace(benchmark::State& state) {
    bench::Muted quiet;
    JogTurn(state);
}
BENCHMARK(JogTurnWithoutTrace);

void DirtyDisplayTurn(benchmark::State& state) {
    PendantDevice device;
    OpenQuietly(device);
    bench::SetBusyDisplay(device);
    null_backend::SetReport(nullptr, 0);
    null_backend::ResetCalls();
    for (auto _ : state) {
        device.DisplayDirty = true;
        RunTurn(device);
    }
    CheckCalls(state, 1, 6);
}
BENCHMARK(DirtyDisplayTurn);

// Unplugged under --reconnect, once the pendant is closed and looked for:
// a turn away between the once-a-second discoveries (the null backend's
// clock never moves, so none follows the first), or with one every turn.
void AwayTurn(benchmark::State& state, bool look) {
    PendantDevice device;
    OpenQuietly(device);
    Reconnection reconnection;
    null_backend::SetUnplugged(true);
    RunReconnectingTurn(device, reconnection);
    RunReconnectingTurn(device, reconnection);
    null_backend::ResetCalls();
    for (auto _ : state) {
        if (look)
            reconnection.looked = false;
        RunReconnectingTurn(device, reconnection);
    }
    null_backend::SetUnplugged(false);
    const auto calls = null_backend::Calls();
    if (!reconnection.away || calls.reads != 0 ||
        calls.discoveries != (look ? static_cast<std::uint64_t>(state.iterations()) : 0))
        state.SkipWithError("turns away read, or did not look as often as asked");
}
void UnpluggedReconnectTurn(benchmark::State& state) {
    AwayTurn(state, false);
}
BENCHMARK(UnpluggedReconnectTurn);
void UnpluggedReconnectDiscoveryTurn(benchmark::State& state) {
    AwayTurn(state, true);
}
BENCHMARK(UnpluggedReconnectDiscoveryTurn);

void BuildDisplayFrameOnly(benchmark::State& state) {
    PendantDevice device;
    bench::SetBusyDisplay(device);
    DisplayFrame frame;
    for (auto _ : state) {
        device.BuildDisplayFrame(frame);
        benchmark::DoNotOptimize(frame);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BuildDisplayFrameOnly);

template <int (*Encode)(float, std::uint8_t*)> void Encoder(benchmark::State& state) {
    std::uint8_t out[4];
    unsigned i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Encode(bench::EncoderValues[i++ & 7], out));
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Encoder<EncodeFixed>)->Name("EncodeFixed");
BENCHMARK(Encoder<EncodeCoordinate>)->Name("EncodeCoordinate");

} // namespace

BENCHMARK_MAIN();
