// Inside the virtual pendant: its state and the bookkeeping that every
// platform function does (count, record, inject, set the last error). Shared
// by the control interface (control.cpp) and the platform functions
// (kernel32.cpp, setupapi.cpp, winusb.cpp); nothing outside this folder
// includes it.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "backends/virtual/virtual_pendant.h"
#include "protocol/hid_requests.h"

// The parsed report descriptor the platform hands out: here, the protocol's
// own reading of it, as a host's HID parser reads it.
struct _HIDP_PREPARSED_DATA {
    protocol::ReportLayout layout;
};

namespace virtual_pendant {

struct Fault {
    Call call;
    unsigned nth;
    DWORD error;
    bool sticky;
    DWORD takesMs;
};

struct Input {
    bool timeout;
    std::vector<std::uint8_t> report;
    std::size_t sent = 0; // bytes of report already sent as packets
};

// A handle we gave out; dead once the pendant is unplugged under it. A file
// knows what it was opened on (0: the pendant; k: otherHid[k - 1]) and with
// which access.
struct Issued {
    unsigned generation;
    std::size_t target = 0;
    DWORD access = 0;
};

// A read of the HID path under way, or ended and not yet asked about.
struct PendingRead {
    std::uint8_t* buffer;
    DWORD length;
    LPOVERLAPPED overlapped;
    bool ended = false;
    DWORD error = ERROR_SUCCESS;
    DWORD bytes = 0;
};

// WinUSB's default for a data pipe: no time-out. Time is virtual, so a read
// of nothing ends at once, with the clock where it was.
constexpr ULONG DefaultTimeoutMs = 0;
// The default pipe's, as WinUSB's: what a request left unanswered costs.
constexpr ULONG DefaultControlTimeoutMs = 5000;

struct State {
    Device device;
    bool plugged = true;
    unsigned generation = 0;
    DWORD clock = 0;
    std::deque<Input> input;
    std::vector<Fault> faults;
    std::map<Call, unsigned> counts;
    std::vector<CallRecord> calls;
    std::vector<DWORD> sleeps;
    std::uintptr_t nextHandle = 0x1000;
    std::map<std::uintptr_t, Issued> sets, files, interfaces;
    std::set<void*> blocks;
    // The HID path: events (set or not), reads by file, parsed descriptors.
    std::map<std::uintptr_t, bool> events;
    std::map<std::uintptr_t, PendingRead> reads;
    // Given out and not freed (or refused to be freed); they go with the
    // state, as the blocks do.
    std::set<const _HIDP_PREPARSED_DATA*> preparsed;
    std::map<UCHAR, ULONG> pipeTimeouts;
    protocol::FrameAssembler assembler;
    // What the HID requests see besides the device: the latest reports,
    // the idle rate, the protocol.
    protocol::HidPendantState hid;
    std::vector<ReceivedFrame> frames;
    unsigned framesReceived = 0; // kept with or without history
    ReceivedFrame lastFrame;
    std::function<void(const ReceivedFrame&)> onFrame;
    bool realTime = false;
    std::chrono::steady_clock::time_point realStart;
    DWORD clockAtRealStart = 0;
    unsigned adviceRequests = 0;
    // SetConsoleCtrlHandler's list, the first added first.
    std::vector<PHANDLER_ROUTINE> ctrlHandlers;
    bool history = true;
    CallRecord scratch{}; // the record of a call when no history is kept
    // Blocks the tool did not get back from LocalFree go with the process.
    ~State();
    // What Reset drops: the blocks and the parsed descriptors.
    void Release();
};

State& S();
// The calling thread's last error, as on the platform.
DWORD& LastError();

// The core calls the platform from one thread, but the last error is each
// thread's own, and the contract test calls GetLastError and SetLastError
// from a second thread: the counts and the record are kept under this lock.
void Count(Call call);

// 1 for a pointer given, 0 for nullptr: how a record shows pointers.
std::uint64_t Given(const void* p);
// Counts the call, and returns the injected error when it is due to fail.
bool Injected(Call call, DWORD& error);
CallRecord& Record(Call call, std::vector<std::uint64_t> args);

// Ends a call: sets the last error (ERROR_SUCCESS too, as Windows does on
// success, so a stale code never outlives a call that worked) and notes the
// outcome in its record.
template <typename T> T Finish(CallRecord& record, DWORD error, T result) {
    record.succeeded = error == ERROR_SUCCESS;
    record.error = error;
    LastError() = error;
    return result;
}

// Ends an injected or handle failure: the call fails, whatever the error
// (even 0, for platforms that fail without saying why).
template <typename T> T Fail(CallRecord& record, DWORD error, T result) {
    record.succeeded = false;
    record.error = error;
    LastError() = error;
    return result;
}

HANDLE NewHandle(std::map<std::uintptr_t, Issued>& table);
bool Known(const std::map<std::uintptr_t, Issued>& table, const void* h);
// Whether a handle still reaches the device: issued, and not unplugged since.
bool Live(const std::map<std::uintptr_t, Issued>& table, const void* h);

// In real time the clock is the virtual time at the switch plus the wall
// time since; the unsigned sum wraps like the platform's tick counter.
void SyncClock();
void Wait(DWORD ms);
bool Visible();
// The device paths listed under an interface class, in order.
std::vector<std::string> Listed(const GUID& interfaceClass);
const Pipe* FindPipe(UCHAR id);
// One display report reached the pendant; a sixth makes a frame.
void Deliver(const std::uint8_t* report);
// The HID state with the current device's descriptor, interface and size.
protocol::HidPendantState& HidState();

} // namespace virtual_pendant
