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
    S().Release();
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

Device HidBoundDevice() {
    const GUID& g = HidInterfaceClassGuid;
    const InterfaceGuidParts parts = {g.Data1,
                                      g.Data2,
                                      g.Data3,
                                      {g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                                       g.Data4[5], g.Data4[6], g.Data4[7]}};
    Device d;
    d.interfaceGuid = g;
    d.path = "\\\\?\\hid#vid_fff0&pid_0001#virtual#" + FormatGuidParts(parts, true);
    return d;
}

std::vector<std::uint8_t> KeyboardReportDescriptor() {
    return {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,             // Generic Desktop, Keyboard
            0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, // modifiers
            0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, //   8 bits
            0x95, 0x01, 0x75, 0x08, 0x81, 0x01,             // reserved byte
            0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, // LEDs
            0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, //   out 5 bits
            0x91, 0x01,                                     //   padding
            0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65, // six keys
            0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};
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
    c.events = static_cast<int>(S().events.size());
    c.preparsed = static_cast<int>(S().preparsed.size());
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
