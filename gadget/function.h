// The pendant's FunctionFS function: ep0 answers what a pendant answers (the
// HID report descriptor, the display's SET_REPORTs, each frame decoded with
// the pendant-side code every virtual pendant shares), and the interrupt IN
// endpoint sends the queued input reports in order, from threads of their
// own, so that the program's front end never blocks on the host.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gadget/descriptors.h"
#include "protocol/display.h"
#include "protocol/hid_requests.h"

namespace gadget {

// What the host has done so far.
struct Counters {
    unsigned long long inSent = 0; // reports the host has read
    unsigned long long setups = 0;
    unsigned long long displayReports = 0;
    unsigned long long frames = 0;
    unsigned long long badFrames = 0;
    long long lastFrameUs = 0;
    double last[3] = {0, 0, 0}; // CoordSet2 of the last well-formed frame
};

// The last frame the host sent, for the screen.
struct LastFrame {
    bool have = false;
    std::vector<std::uint8_t> bytes;
    protocol::DecodedDisplay display;
    std::string problem; // "" for a well-formed frame
};

class PendantFunction {
  public:
    PendantFunction() = default;
    PendantFunction(const PendantFunction&) = delete;
    PendantFunction& operator=(const PendantFunction&) = delete;
    ~PendantFunction() { Stop(); }

    // Opens ep0 in the mounted FunctionFS directory, writes the descriptors
    // and strings of the layout and opens the pendant's IN endpoint. "" or
    // what went wrong.
    std::string Open(const std::string& dir, const Layout& layout);
    // Serves FunctionFS files that are open and told the layout already: ep0
    // and the pendant's IN endpoint (Open's, or a test's stand-ins), and the
    // eventfd FunctionFS signals each event on (-1: none; a layout that
    // leaves a request unanswered needs it). Stop closes them.
    void Attach(int ep0, int in, const Layout& layout, int events = -1);
    void Start();
    // Requests the stop, ends both threads and closes the files. Unbind
    // first, so that transfers in flight end.
    void Stop();

    // The IN endpoint's work, done in order: a report (ended by a
    // zero-length packet when it needs one), a halt, its clearing.
    void Queue(std::vector<std::uint8_t> report);
    void Halt(bool on);
    // A zero-length packet after every report that fills its last packet
    // (on), or none (off); before either, after those longer than a packet.
    void SetZeroLengthPacket(bool on);
    const Layout& GetLayout() const { return layout_; }
    std::size_t Pending();
    // Until nothing is queued or in flight; false after `seconds` or a stop.
    bool WaitIdle(unsigned seconds);
    // Queues one report and waits until the host read it (true) or it failed.
    bool Send(const std::uint8_t* report, std::size_t n);

    // Until the host has sent n frames in all; false after `seconds` or a stop.
    bool WaitFrames(unsigned long long n, unsigned seconds);
    // Until there are more than `seen` frames; false after ms or a stop.
    bool WaitFrameAfter(unsigned long long seen, long long ms);
    Counters Snapshot();
    LastFrame Last();

  private:
    struct Item {
        enum class Kind { Report, Halt, ClearHalt } kind;
        std::vector<std::uint8_t> bytes;
    };
    void Ep0Loop();
    bool AwaitNextEvent();
    void InLoop();
    bool Do(const Item& item);
    bool SendNow(const std::vector<std::uint8_t>& report);
    // False when the request is left unanswered.
    bool Setup(const void* request);
    void DisplayReport(const std::uint8_t* setup, const std::uint8_t* data, std::size_t n);
    void LogFrame(const std::uint8_t* frame, const protocol::DecodedDisplay& d,
                  const std::string& why);
    template <class Done> bool WaitUntil(long long ms, Done done);

    int ep0_ = -1;
    int in_ = -1;
    int events_ = -1;
    Layout layout_;
    std::thread ep0Thread_, inThread_;
    bool started_ = false;
    bool inDone_ = false;

    std::mutex m_;
    std::condition_variable cv_;
    std::deque<Item> queue_;
    bool busy_ = false;
    bool lastOk_ = false;
    Counters counters_;
    LastFrame last_;
    protocol::FrameAssembler assembler_; // the ep0 thread's alone
    // What each interface's HID requests see (under m_): the latest input
    // report, the display's feature report, the idle rate.
    std::vector<protocol::HidPendantState> hid_;
    std::atomic<ZeroLengthPacket> zlp_{ZeroLengthPacket::AfterSpanningReports};
};

} // namespace gadget
