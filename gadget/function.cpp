#include "gadget/function.h"

#include <linux/usb/functionfs.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include "gadget/log.h"

namespace gadget {

namespace {

// A signal that does nothing but end a blocking write (no SA_RESTART): how
// Stop frees the IN thread from a transfer the host never takes.
extern "C" void Wake(int) {}

void InstallWake() {
    struct sigaction wake = {};
    wake.sa_handler = Wake;
    sigemptyset(&wake.sa_mask);
    wake.sa_flags = 0;
    sigaction(SIGUSR1, &wake, nullptr);
}

} // namespace

std::string PendantFunction::Open(const std::string& dir, const Layout& layout) {
    // Held from here, so that Stop closes it whatever fails next.
    ep0_ = open((dir + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
    if (ep0_ < 0)
        return "cannot open " + dir + "/ep0: " + std::strerror(errno);
    // A faulty pendant's setup left unanswered must leave ep0 alone until the
    // next event: FunctionFS counts events on this eventfd too.
    if (layout.unanswered != Unanswered::None &&
        (events_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) < 0)
        return "cannot make an eventfd: " + std::string(std::strerror(errno));
    if (!WriteAll(ep0_, Descriptors(layout, events_)))
        return "FunctionFS refused the descriptors: " + std::string(std::strerror(errno));
    if (!WriteAll(ep0_, Strings(layout)))
        return "FunctionFS refused the strings: " + std::string(std::strerror(errno));
    const std::string in = dir + "/" + PendantEndpointFile(layout);
    const int inFd = open(in.c_str(), O_RDWR | O_CLOEXEC);
    if (inFd < 0)
        return "cannot open " + in + ": " + std::strerror(errno);
    Attach(ep0_, inFd, layout, events_);
    return "";
}

void PendantFunction::Attach(int ep0, int in, const Layout& layout, int events) {
    ep0_ = ep0;
    in_ = in;
    events_ = events;
    layout_ = layout;
    zlp_ =
        layout.zeroLengthPacket ? ZeroLengthPacket::Always : ZeroLengthPacket::AfterSpanningReports;
    hid_.clear();
    for (unsigned number = 0; number < 2; ++number) {
        protocol::HidPendantState state;
        state.interfaceNumber = static_cast<std::uint8_t>(number);
        state.reportDescriptor = ReportDescriptor(layout);
        state.inputReportBytes = layout.reportBytes;
        hid_.push_back(state);
    }
}

void PendantFunction::Start() {
    InstallWake();
    started_ = true;
    ep0Thread_ = std::thread([this] { Ep0Loop(); });
    inThread_ = std::thread([this] { InLoop(); });
}

void PendantFunction::Stop() {
    RequestStop();
    if (started_) {
        started_ = false;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(m_);
                if (inDone_)
                    break;
            }
            // It may have been on its way into the write: keep knocking.
            pthread_kill(inThread_.native_handle(), SIGUSR1);
            usleep(10000);
        }
        inThread_.join();
        ep0Thread_.join();
    }
    for (int* fd : {&in_, &ep0_, &events_})
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
}

template <class Done> bool PendantFunction::WaitUntil(long long ms, Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock<std::mutex> lock(m_);
    // In slices, so that a stop is seen within one.
    while (!done()) {
        if (StopRequested() || std::chrono::steady_clock::now() >= end)
            return false;
        cv_.wait_for(lock, std::chrono::milliseconds(100));
    }
    return true;
}

void PendantFunction::Queue(std::vector<std::uint8_t> report) {
    {
        std::lock_guard<std::mutex> lock(m_);
        queue_.push_back({Item::Kind::Report, std::move(report)});
    }
    cv_.notify_all();
}

void PendantFunction::SetZeroLengthPacket(bool on) {
    zlp_ = on ? ZeroLengthPacket::Always : ZeroLengthPacket::Never;
}

void PendantFunction::Halt(bool on) {
    {
        std::lock_guard<std::mutex> lock(m_);
        queue_.push_back({on ? Item::Kind::Halt : Item::Kind::ClearHalt, {}});
    }
    cv_.notify_all();
}

std::size_t PendantFunction::Pending() {
    std::lock_guard<std::mutex> lock(m_);
    return queue_.size() + (busy_ ? 1 : 0);
}

bool PendantFunction::WaitIdle(unsigned seconds) {
    return WaitUntil(seconds * 1000LL, [this] { return queue_.empty() && !busy_; });
}

bool PendantFunction::Send(const std::uint8_t* report, std::size_t n) {
    Queue(std::vector<std::uint8_t>(report, report + n));
    // No limit but a stop: the host reads at its own pace.
    while (!WaitIdle(3600))
        if (StopRequested())
            return false;
    std::lock_guard<std::mutex> lock(m_);
    return lastOk_;
}

bool PendantFunction::WaitFrames(unsigned long long n, unsigned seconds) {
    return WaitUntil(seconds * 1000LL, [this, n] { return counters_.frames >= n; });
}

bool PendantFunction::WaitFrameAfter(unsigned long long seen, long long ms) {
    return WaitUntil(ms, [this, seen] { return counters_.frames > seen; });
}

Counters PendantFunction::Snapshot() {
    std::lock_guard<std::mutex> lock(m_);
    return counters_;
}

LastFrame PendantFunction::Last() {
    std::lock_guard<std::mutex> lock(m_);
    return last_;
}

void PendantFunction::InLoop() {
    for (;;) {
        Item item;
        {
            std::unique_lock<std::mutex> lock(m_);
            while (queue_.empty() && !StopRequested())
                cv_.wait_for(lock, std::chrono::milliseconds(100));
            if (StopRequested())
                break;
            item = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
        }
        const bool ok = Do(item);
        {
            std::lock_guard<std::mutex> lock(m_);
            busy_ = false;
            lastOk_ = ok;
            if (ok && item.kind == Item::Kind::Report)
                ++counters_.inSent;
        }
        cv_.notify_all();
    }
    std::lock_guard<std::mutex> lock(m_);
    inDone_ = true;
}

bool PendantFunction::SendNow(const std::vector<std::uint8_t>& report) {
    for (;;) {
        const ssize_t r = write(in_, report.data(), report.size());
        if (r == static_cast<ssize_t>(report.size()))
            return true;
        if (r < 0 && errno == EINTR && !StopRequested())
            continue;
        if (r < 0 && errno == EINTR)
            Log("IN-UNREAD %s", Hex(report.data(), report.size()).c_str());
        else if (r >= 0)
            Log("IN-FAILED the host took %zd of %zu bytes", r, report.size());
        else
            Log("IN-FAILED %s", std::strerror(errno));
        return false;
    }
}

bool PendantFunction::Do(const Item& item) {
    switch (item.kind) {
    case Item::Kind::Report:
        if (item.bytes.size() != layout_.reportBytes)
            Log("IN-RAW %zu bytes, where the report descriptor declares %zu", item.bytes.size(),
                layout_.reportBytes);
        if (!SendNow(item.bytes))
            return false;
        // The host's read ends at a short packet: a report that fills its
        // last packet gets an empty one after it where the rule says so.
        if (ZeroLengthPacketFollows(zlp_.load(), item.bytes.size(), layout_.packetSize) &&
            !SendNow({}))
            return false;
        {
            std::lock_guard<std::mutex> lock(m_);
            hid_[PendantInterface(layout_)].lastInput = item.bytes; // for GET_REPORT
        }
        if (!Quiet())
            Log("IN-SENT %s", Hex(item.bytes.data(), item.bytes.size()).c_str());
        return true;
    case Item::Kind::Halt: {
        // FunctionFS halts an IN endpoint that is read.
        std::uint8_t none[1];
        const ssize_t r = read(in_, none, sizeof none);
        if (r < 0 && errno == EBADMSG) {
            Log("STALLED");
            return true;
        }
        if (!StopRequested())
            Log("STALL-FAILED %s", r < 0 ? std::strerror(errno) : "the endpoint was read");
        return false;
    }
    case Item::Kind::ClearHalt:
        if (ioctl(in_, FUNCTIONFS_CLEAR_HALT) == 0) {
            Log("UNSTALLED");
            return true;
        }
        Log("UNSTALL-FAILED %s", std::strerror(errno));
        return false;
    }
    return false;
}

} // namespace gadget
