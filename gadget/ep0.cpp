// The pendant's ep0, on its own thread: FunctionFS's events, the HID
// requests answered as a pendant answers them, taken, stalled or (for a
// faulty pendant) left unanswered, and the display's SET_REPORTs put
// together into frames and decoded with the pendant-side code every virtual
// pendant shares.
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

#include <endian.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "gadget/function.h"
#include "gadget/log.h"

namespace gadget {

void PendantFunction::Ep0Loop() {
    pollfd fds[2] = {{ep0_, POLLIN, 0}, {StopFd(), POLLIN, 0}};
    usb_functionfs_event events[4];
    while (!StopRequested()) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            Log("EP0-POLL-FAILED %s", std::strerror(errno));
            return;
        }
        if (fds[1].revents != 0)
            return;
        if ((fds[0].revents & POLLIN) == 0)
            continue;
        // The eventfd counts the events from here on (they are there
        // before ep0 polls readable).
        std::uint64_t counted = 0;
        if (events_ >= 0 && read(events_, &counted, sizeof counted) < 0 && errno != EAGAIN)
            Log("EP0-EVENTFD-FAILED %s", std::strerror(errno));
        const ssize_t n = read(ep0_, events, sizeof events);
        if (n < 0) {
            // FunctionFS: the host gave up on a setup left unanswered and
            // sent another, which the next read gets.
            if (errno == EIDRM)
                Log("SETUP-CANCELLED");
            if (errno == EINTR || errno == EAGAIN || errno == EIDRM)
                continue;
            Log("EP0-READ-FAILED %s", std::strerror(errno));
            return;
        }
        for (ssize_t i = 0; i < n / static_cast<ssize_t>(sizeof events[0]); ++i) {
            if (events[i].type != FUNCTIONFS_SETUP)
                Log("EVENT %s", EventName(events[i].type));
            else if (!Setup(&events[i].u.setup) && !AwaitNextEvent())
                return;
        }
    }
}

// FunctionFS takes any read or write of ep0 while a setup is pending as its
// data stage (a read of events answers an OUT request, and stalls an IN
// one), and polls it readable throughout. So a setup left unanswered leaves
// ep0 alone until the eventfd counts another event since the setup was
// read: the host gave up on it and sent the next (it sends none before),
// which cancelled it. False on a stop.
bool PendantFunction::AwaitNextEvent() {
    pollfd fds[2] = {{events_, POLLIN, 0}, {StopFd(), POLLIN, 0}};
    while (poll(fds, 2, -1) < 0)
        if (errno != EINTR) {
            Log("EP0-POLL-FAILED %s", std::strerror(errno));
            return false;
        }
    return fds[1].revents == 0;
}

bool PendantFunction::Setup(const void* request) {
    usb_ctrlrequest c;
    std::memcpy(&c, request, sizeof c);
    std::uint8_t raw[8];
    std::memcpy(raw, &c, sizeof raw);
    {
        std::lock_guard<std::mutex> lock(m_);
        ++counters_.setups;
    }
    if (!Quiet())
        Log("SETUP %s", Hex(raw, sizeof raw).c_str());
    if (LeftUnanswered(layout_, raw)) {
        Log("UNANSWERED %s", Hex(raw, sizeof raw).c_str());
        return false;
    }
    const unsigned index = le16toh(c.wIndex);
    const unsigned length = le16toh(c.wLength);
    // The HID interfaces answer as HID devices do; any other takes what is
    // sent and answers nothing.
    const unsigned number = index & 0xFF;
    const bool hid = number < hid_.size() && IsHidInterface(layout_, number);
    protocol::HidReply reply;
    if (hid) {
        std::lock_guard<std::mutex> lock(m_);
        reply = protocol::AnswerHidRequest(raw, hid_[number]);
    }
    if (c.bRequestType & USB_DIR_IN) {
        if (reply.outcome == protocol::HidOutcome::Answer) {
            if (write(ep0_, reply.data.data(), reply.data.size()) < 0)
                Log("EP0-FAILED %s", std::strerror(errno));
            return true;
        }
        // A stall on ep0 is asked for by moving data the wrong way.
        if (read(ep0_, nullptr, 0) >= 0 || errno != EL2HLT)
            Log("EP0-STALL-FAILED %s", std::strerror(errno));
        return true;
    }
    std::uint8_t data[256];
    if (length > sizeof data || reply.outcome == protocol::HidOutcome::Stall) {
        if (write(ep0_, nullptr, 0) >= 0 || errno != EL2HLT)
            Log("EP0-STALL-FAILED %s", std::strerror(errno));
        return true;
    }
    const ssize_t got = read(ep0_, length ? data : nullptr, length);
    if (got < 0) {
        Log("EP0-FAILED %s", std::strerror(errno));
        return true;
    }
    if (hid) {
        std::lock_guard<std::mutex> lock(m_);
        protocol::TakeHidRequest(raw, data, static_cast<std::size_t>(got), hid_[number]);
    }
    if (c.bRequestType == HidRequestTypeClassInterfaceOut && c.bRequest == HidSetReport)
        DisplayReport(raw, data, static_cast<std::size_t>(got));
    return true;
}

void PendantFunction::DisplayReport(const std::uint8_t* setup, const std::uint8_t* data,
                                    std::size_t n) {
    const long long arrived = NowUs();
    const bool quiet = Quiet();
    if (!quiet)
        Log("REPORT %s", Hex(data, n).c_str());
    if (!protocol::IsDisplaySetReport(setup))
        return;
    const bool complete = assembler_.Add(data, n);
    protocol::DecodedDisplay d{};
    std::string why;
    const auto& frame = assembler_.Frame();
    if (complete) {
        why = protocol::DecodeDisplayFrame(frame.data(), d);
        // Logged before it is counted, so that whoever waits for the count
        // finds the lines in the log.
        if (!quiet)
            LogFrame(frame.data(), d, why);
    }
    {
        std::lock_guard<std::mutex> lock(m_);
        ++counters_.displayReports;
        if (complete) {
            ++counters_.frames;
            counters_.lastFrameUs = arrived;
            if (why.empty())
                std::copy(d.CoordSet2, d.CoordSet2 + 3, counters_.last);
            else
                ++counters_.badFrames;
            last_ = {true, std::vector<std::uint8_t>(frame.begin(), frame.end()), d, why};
        }
    }
    if (complete)
        cv_.notify_all();
}

void PendantFunction::LogFrame(const std::uint8_t* frame, const protocol::DecodedDisplay& d,
                               const std::string& why) {
    Log("FRAME %s", Hex(frame, DisplayFrameBytes).c_str());
    if (!why.empty()) {
        Log("FRAME-BAD %s", why.c_str());
        return;
    }
    Log("COORDS %.4f %.4f %.4f %.4f %.4f %.4f WORDS %u %u %u %u", d.CoordSet1[0], d.CoordSet1[1],
        d.CoordSet1[2], d.CoordSet2[0], d.CoordSet2[1], d.CoordSet2[2], d.DisplayWord[0],
        d.DisplayWord[1], d.DisplayWord[2], d.DisplayWord[3]);
    Log("DISPLAY %s", protocol::FormatDisplay(d).c_str());
}

} // namespace gadget
