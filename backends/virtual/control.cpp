// The virtual pendant's control interface: what tests and the simulator use
// to describe the device, queue its input, inject failures and read back
// the calls and frames.
#include <cstdlib>

#include "backends/virtual/state.h"
#include "usb/platform_advice.h"

namespace virtual_pendant {

const char* CallName(Call call) {
    static const char* const names[] = {
#define PLATFORM_CALL(result, name, parameters) #name,
#include "usb/standin/platform_calls.inc"
#undef PLATFORM_CALL
    };
    const auto i = static_cast<std::size_t>(call);
    return i < sizeof names / sizeof names[0] ? names[i] : "?";
}

void Reset() {
    for (void* block : S().blocks)
        std::free(block);
    S().blocks.clear();
    S() = State{};
    LastError() = ERROR_SUCCESS;
}

void KeepHistory(bool on) {
    S().history = on;
    if (!on) {
        S().calls.clear();
        S().calls.shrink_to_fit();
        S().frames.clear();
        S().frames.shrink_to_fit();
        S().sleeps.clear();
        S().sleeps.shrink_to_fit();
    }
}

void SetDevice(const Device& device) {
    S().device = device;
}
const Device& CurrentDevice() {
    return S().device;
}

void Unplug() {
    S().plugged = false;
    ++S().generation;
}
void Replug() {
    S().plugged = true;
}
bool Plugged() {
    return S().plugged;
}

void QueueReport(const std::vector<std::uint8_t>& report) {
    S().input.push_back(Input{false, report});
}
void QueueTimeout() {
    S().input.push_back(Input{true, {}});
}
std::size_t PendingInput() {
    return S().input.size();
}

void FailCall(Call call, unsigned nth, DWORD error, bool sticky, DWORD takesMs) {
    S().faults.push_back(Fault{call, nth, error, sticky, takesMs});
}

const std::vector<CallRecord>& Calls() {
    return S().calls;
}
std::vector<CallRecord> CallsOf(Call call) {
    std::vector<CallRecord> out;
    for (const CallRecord& r : S().calls)
        if (r.call == call)
            out.push_back(r);
    return out;
}
unsigned CountOf(Call call) {
    auto it = S().counts.find(call);
    return it == S().counts.end() ? 0 : it->second;
}
void ClearCalls() {
    S().calls.clear();
}

OpenCounts Open() {
    OpenCounts c;
    c.deviceInfoSets = static_cast<int>(S().sets.size());
    c.detailBuffers = static_cast<int>(S().blocks.size());
    c.files = static_cast<int>(S().files.size());
    c.interfaces = static_cast<int>(S().interfaces.size());
    return c;
}

const std::vector<ReceivedFrame>& Frames() {
    return S().frames;
}
unsigned FramesReceived() {
    return S().framesReceived;
}
const ReceivedFrame& LastFrame() {
    return S().lastFrame;
}
void OnFrame(std::function<void(const ReceivedFrame&)> callback) {
    S().onFrame = std::move(callback);
}

DWORD Now() {
    SyncClock();
    return S().clock;
}
std::vector<DWORD> Sleeps() {
    return S().sleeps;
}

void SetRealTime(bool on) {
    State& s = S();
    SyncClock();
    s.realTime = on;
    s.realStart = std::chrono::steady_clock::now();
    s.clockAtRealStart = s.clock;
}
bool RealTime() {
    return S().realTime;
}

bool PressCtrlC() {
    // A copy: a handler may remove itself or another while it runs.
    const std::vector<PHANDLER_ROUTINE> handlers = S().ctrlHandlers;
    for (auto h = handlers.rbegin(); h != handlers.rend(); ++h)
        if ((*h)(CTRL_C_EVENT))
            return true;
    return false;
}

unsigned AdviceRequests() {
    return S().adviceRequests;
}

} // namespace virtual_pendant

void PrintPlatformAdvice() {
    ++virtual_pendant::S().adviceRequests;
}
