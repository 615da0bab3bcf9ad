// The virtual pendant's bookkeeping, shared by its control interface and
// its platform functions.
#include "backends/virtual/state.h"

#include <cstdlib>
#include <mutex>
#include <thread>

namespace virtual_pendant {

State& S() {
    static State state;
    return state;
}

DWORD& LastError() {
    thread_local DWORD lastError = ERROR_SUCCESS;
    return lastError;
}

std::uint64_t Given(const void* p) {
    return p != nullptr ? 1 : 0;
}

namespace {
std::mutex& Books() {
    static std::mutex books;
    return books;
}
} // namespace

void Count(Call call) {
    const std::lock_guard<std::mutex> hold(Books());
    ++S().counts[call];
}

bool Injected(Call call, DWORD& error) {
    State& s = S();
    unsigned n = 0;
    {
        const std::lock_guard<std::mutex> hold(Books());
        n = ++s.counts[call];
    }
    for (const Fault& f : s.faults)
        if (f.call == call && (n == f.nth || (f.sticky && n > f.nth))) {
            error = f.error;
            Wait(f.takesMs);
            return true;
        }
    return false;
}

State::~State() {
    Release();
}

void State::Release() {
    for (void* block : blocks)
        std::free(block);
    blocks.clear();
    for (const _HIDP_PREPARSED_DATA* data : preparsed)
        delete data;
    preparsed.clear();
}

CallRecord& Record(Call call, std::vector<std::uint64_t> args) {
    const std::lock_guard<std::mutex> hold(Books());
    State& s = S();
    if (!s.history) {
        s.scratch = CallRecord{call, std::move(args), {}, true, 0};
        return s.scratch;
    }
    s.calls.push_back(CallRecord{call, std::move(args), {}, true, 0});
    return s.calls.back();
}

HANDLE NewHandle(std::map<std::uintptr_t, Issued>& table) {
    const std::uintptr_t h = S().nextHandle;
    S().nextHandle += 0x10;
    table[h] = Issued{S().generation};
    return reinterpret_cast<HANDLE>(h);
}

bool Known(const std::map<std::uintptr_t, Issued>& table, const void* h) {
    return table.count(reinterpret_cast<std::uintptr_t>(h)) != 0;
}

bool Live(const std::map<std::uintptr_t, Issued>& table, const void* h) {
    auto it = table.find(reinterpret_cast<std::uintptr_t>(h));
    return it != table.end() && S().plugged && it->second.generation == S().generation;
}

void SyncClock() {
    State& s = S();
    if (!s.realTime)
        return;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - s.realStart);
    s.clock = s.clockAtRealStart + static_cast<DWORD>(elapsed.count());
}

void Wait(DWORD ms) {
    if (!S().realTime) {
        S().clock += ms;
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    SyncClock();
}

bool Visible() {
    return S().device.present && S().plugged;
}

std::vector<std::string> Listed(const GUID& interfaceClass) {
    const State& s = S();
    std::vector<std::string> paths;
    if (interfaceClass == HidInterfaceClassGuid)
        for (const OtherHidDevice& other : s.device.otherHid)
            paths.push_back(other.path);
    if (Visible() && interfaceClass == s.device.interfaceGuid)
        paths.push_back(s.device.path);
    return paths;
}

const Pipe* FindPipe(UCHAR id) {
    for (const Pipe& p : S().device.pipes)
        if (p.id == id)
            return &p;
    return nullptr;
}

protocol::HidPendantState& HidState() {
    State& s = S();
    s.hid.interfaceNumber = s.device.iface.bInterfaceNumber;
    s.hid.subclass = s.device.iface.bInterfaceSubClass;
    s.hid.reportDescriptor = s.device.reportDescriptor;
    const std::size_t declared = protocol::LargestInputReport(
        s.device.reportDescriptor.data(), s.device.reportDescriptor.size(), InputReportBytes);
    s.hid.inputReportBytes = declared != 0 ? declared : DefaultInputReportBytes;
    return s.hid;
}

void Deliver(const std::uint8_t* report) {
    State& s = S();
    if (!s.assembler.Add(report, DisplayReportBytes))
        return;
    ReceivedFrame frame;
    frame.bytes.assign(s.assembler.Frame().begin(), s.assembler.Frame().end());
    frame.problem = protocol::DecodeDisplayFrame(frame.bytes.data(), frame.display);
    ++s.framesReceived;
    s.lastFrame = frame;
    if (!s.history) {
        if (s.onFrame)
            s.onFrame(frame);
        return;
    }
    s.frames.push_back(frame);
    if (s.onFrame)
        s.onFrame(s.frames.back());
}

} // namespace virtual_pendant
