// A virtual pendant on the Linux USB gadget stack, for the VM test.
//
// It serves one FunctionFS function: one HID class interface with an
// interrupt IN endpoint 0x81 of 8-byte packets.
// On ep0 it answers what a pendant answers: the HID report descriptor, and
// the SET_REPORT requests that carry the display. The six display reports of
// a frame are put together and decoded with the same pendant-side code as
// the in-process virtual pendant, so both check the host by one rule.
//
//   pendant-gadget [--stamp] FFS_MOUNT_DIR
//
// --stamp starts every log line with "[<microseconds>] " on the monotonic
// clock, for timing the host from the pendant's side.
//
// Commands on standard input, one a line:
//   in HH HH ...   send one input report (up to 8 bytes) on the IN endpoint;
//                  waits until the host has read it
//   burst N SEED   send N random jog reports as fast as the host reads them:
//                  counts +-1..31, mostly on axes 0x11-0x13, some on codes
//                  that select no axis, 6 bytes (a short packet) or padded
//                  to 8 (a full one); then BURST-DONE with what was sent
//   timed N SEED   N random moving reports, one at a time after a random
//                  pause of 0-39 ms; each is timed from just before it is
//                  queued to the arrival of the sixth display report of the
//                  frame it causes; then TIMED-DONE with median and maximum
//   quiet on|off   leave out (or log again) the per-transfer and per-frame
//                  lines; counting goes on
//   stats          one STATS line: the counters and the last decoded frame
// Log on standard output, one event a line, flushed at once:
//   READY, EVENT <name>, SETUP <8 bytes>, REPORT <8 bytes>, FRAME <48 bytes>,
//   COORDS <6 values> WORDS <4 values>, DISPLAY <text>, FRAME-BAD <why>,
//   IN-SENT <bytes>, IN-FAILED <errno text>, LATENCY <us>,
//   BURST-DONE sent=N moving=N short=N full=N sum=A B C,
//   TIMED-DONE n=N missed=N median_us=N max_us=N,
//   STATS in=N setups=N display_reports=N frames=N bad_frames=N last=A B C
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

#include <endian.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "pendant_side/pendant_side.h"
#include "tests/vm/gadget/ffs_descriptors.h"

namespace {

std::mutex logMutex;
bool stampLines = false;
// Per-transfer and per-frame lines off (a soak makes tens of thousands).
std::atomic<bool> quietFrames{false};

long long NowUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000LL + now.tv_nsec / 1000;
}

// What the host has done to the display, shared by the ep0 loop that counts
// it and the input thread that waits for it.
struct Counters {
    std::mutex m;
    std::condition_variable changed;
    unsigned long long inSent = 0;
    unsigned long long setups = 0;
    unsigned long long displayReports = 0;
    unsigned long long frames = 0;
    unsigned long long badFrames = 0;
    long long lastFrameUs = 0;
    double last[3] = {0, 0, 0}; // CoordSet2 of the last well-formed frame
};
Counters counters;

void Log(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* fmt, ...) {
    std::lock_guard<std::mutex> lock(logMutex);
    if (stampLines)
        std::printf("[%lld] ", NowUs());
    va_list ap;
    va_start(ap, fmt);
    std::vprintf(fmt, ap);
    va_end(ap);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string Hex(const std::uint8_t* p, std::size_t n) {
    std::string s;
    char b[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i ? " %02x" : "%02x", p[i]);
        s += b;
    }
    return s;
}

class Ep0Server {
  public:
    explicit Ep0Server(int ep0) : ep0_(ep0) {}

    void Setup(const usb_ctrlrequest& c) {
        std::uint8_t raw[8];
        std::memcpy(raw, &c, sizeof raw);
        {
            std::lock_guard<std::mutex> lock(counters.m);
            ++counters.setups;
        }
        if (!quietFrames)
            Log("SETUP %s", Hex(raw, sizeof raw).c_str());
        const unsigned value = le16toh(c.wValue);
        const unsigned length = le16toh(c.wLength);
        if (c.bRequestType & USB_DIR_IN) {
            if (c.bRequestType == 0x81 && c.bRequest == USB_REQ_GET_DESCRIPTOR &&
                (value >> 8) == 0x22) {
                const std::size_t n = std::min<std::size_t>(length, gadget::ReportDescriptorBytes);
                if (write(ep0_, gadget::ReportDescriptor, n) < 0)
                    Log("EP0-FAILED %s", std::strerror(errno));
                return;
            }
            Stall(true);
            return;
        }
        std::uint8_t data[256];
        if (length > sizeof data) {
            Stall(false);
            return;
        }
        const ssize_t got = read(ep0_, length ? data : nullptr, length);
        if (got < 0) {
            Log("EP0-FAILED %s", std::strerror(errno));
            return;
        }
        if (c.bRequestType == 0x21 && c.bRequest == 0x09) {
            Report(raw, data, static_cast<std::size_t>(got));
        }
    }

  private:
    // A stall on ep0 is asked for by moving data the wrong way.
    void Stall(bool inRequest) {
        const ssize_t r = inRequest ? read(ep0_, nullptr, 0) : write(ep0_, nullptr, 0);
        if (r >= 0 || errno != EL2HLT)
            Log("EP0-STALL-FAILED %s", std::strerror(errno));
    }

    void Report(const std::uint8_t* setup, const std::uint8_t* data, std::size_t n) {
        const long long arrived = NowUs();
        const bool quiet = quietFrames;
        if (!quiet)
            Log("REPORT %s", Hex(data, n).c_str());
        if (!pendant_side::IsDisplaySetReport(setup))
            return;
        const bool complete = assembler_.Add(data, n);
        pendant_side::DecodedDisplay d{};
        std::string why;
        if (complete)
            why = pendant_side::DecodeDisplayFrame(assembler_.Frame().data(), d);
        {
            std::lock_guard<std::mutex> lock(counters.m);
            ++counters.displayReports;
            if (complete) {
                ++counters.frames;
                counters.lastFrameUs = arrived;
                if (why.empty())
                    std::copy(d.CoordSet2, d.CoordSet2 + 3, counters.last);
                else
                    ++counters.badFrames;
            }
        }
        if (complete)
            counters.changed.notify_all();
        if (!complete || quiet)
            return;
        const auto& frame = assembler_.Frame();
        Log("FRAME %s", Hex(frame.data(), frame.size()).c_str());
        if (!why.empty()) {
            Log("FRAME-BAD %s", why.c_str());
            return;
        }
        Log("COORDS %.4f %.4f %.4f %.4f %.4f %.4f WORDS %u %u %u %u", d.CoordSet1[0],
            d.CoordSet1[1], d.CoordSet1[2], d.CoordSet2[0], d.CoordSet2[1], d.CoordSet2[2],
            d.DisplayWord[0], d.DisplayWord[1], d.DisplayWord[2], d.DisplayWord[3]);
        Log("DISPLAY %s", pendant_side::FormatDisplay(d).c_str());
    }

    int ep0_;
    pendant_side::FrameAssembler assembler_;
};

// Queues one input report and waits until the host has read it.
bool SendReport(int ep1, const std::uint8_t* report, std::size_t n) {
    if (write(ep1, report, n) != static_cast<ssize_t>(n)) {
        Log("IN-FAILED %s", std::strerror(errno));
        return false;
    }
    std::lock_guard<std::mutex> lock(counters.m);
    ++counters.inSent;
    return true;
}

// Random jog reports: 04 00 00 AXIS COUNT 00 [00 00], the count +-1..31 as
// the wheel sends it (two's complement in one byte).
class JogSource {
  public:
    explicit JogSource(unsigned seed) : rng_(seed) {}

    // Fills report (8 bytes) and returns its length; axis is 0-2 for a
    // report that moves that axis by count, -1 for one that selects none.
    std::size_t Next(std::uint8_t* report, bool mustMove, int& axis, int& count) {
        static const std::uint8_t NoAxisCodes[] = {0x00, 0x10, 0x14, 0x20};
        std::memset(report, 0, 8);
        report[0] = 0x04;
        const bool moves = mustMove || Pick(10) != 0; // one in ten selects nothing
        axis = moves ? static_cast<int>(Pick(3)) : -1;
        report[3] = moves ? static_cast<std::uint8_t>(0x11 + axis) : NoAxisCodes[Pick(4)];
        count = static_cast<int>(Pick(31)) + 1;
        if (Pick(2) != 0)
            count = -count;
        // Keep every axis well inside what the display shows (16-bit
        // integer part), whatever the seed.
        if (axis >= 0 && std::abs(walk_[axis] + count) > 30000)
            count = -count;
        if (axis >= 0)
            walk_[axis] += count;
        report[4] = static_cast<std::uint8_t>(count & 0xFF);
        return Pick(2) != 0 ? 8 : 6;
    }

  private:
    unsigned Pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng_); }
    std::mt19937 rng_;
    long walk_[3] = {0, 0, 0};
};

void Burst(int ep1, unsigned long n, unsigned seed) {
    JogSource source(seed);
    unsigned long sent = 0, moving = 0, shortOnes = 0;
    long sum[3] = {0, 0, 0};
    for (; sent < n; ++sent) {
        std::uint8_t report[8];
        int axis = 0, count = 0;
        const std::size_t len = source.Next(report, false, axis, count);
        if (!SendReport(ep1, report, len))
            break;
        shortOnes += len < 8;
        if (axis >= 0) {
            ++moving;
            sum[axis] += count;
        }
    }
    Log("BURST-DONE sent=%lu moving=%lu short=%lu full=%lu sum=%ld %ld %ld", sent, moving,
        shortOnes, sent - shortOnes, sum[0], sum[1], sum[2]);
}

void Timed(int ep1, unsigned long n, unsigned seed) {
    JogSource source(seed);
    std::mt19937 pauses(seed ^ 0x5bd1e995u);
    std::vector<long long> took;
    unsigned long missed = 0;
    for (unsigned long i = 0; i < n; ++i) {
        // The report meets the tool anywhere in its 30 ms read.
        usleep(std::uniform_int_distribution<unsigned>(0, 39)(pauses) * 1000);
        std::uint8_t report[8];
        int axis = 0, count = 0;
        const std::size_t len = source.Next(report, true, axis, count);
        unsigned long long framesBefore;
        {
            std::lock_guard<std::mutex> lock(counters.m);
            framesBefore = counters.frames;
        }
        const long long queued = NowUs();
        if (!SendReport(ep1, report, len))
            break;
        std::unique_lock<std::mutex> lock(counters.m);
        if (counters.changed.wait_for(lock, std::chrono::seconds(5),
                                      [&] { return counters.frames > framesBefore; })) {
            took.push_back(counters.lastFrameUs - queued);
            lock.unlock();
            Log("LATENCY %lld", took.back());
        } else {
            ++missed;
        }
    }
    long long median = -1, longest = -1;
    if (!took.empty()) {
        std::sort(took.begin(), took.end());
        // The lower middle for an even count: a value that was measured.
        median = took[(took.size() - 1) / 2];
        longest = took.back();
    }
    Log("TIMED-DONE n=%zu missed=%lu median_us=%lld max_us=%lld", took.size(), missed, median,
        longest);
}

void Stats() {
    std::lock_guard<std::mutex> lock(counters.m);
    Log("STATS in=%llu setups=%llu display_reports=%llu frames=%llu bad_frames=%llu "
        "last=%.4f %.4f %.4f",
        counters.inSent, counters.setups, counters.displayReports, counters.frames,
        counters.badFrames, counters.last[0], counters.last[1], counters.last[2]);
}

// Reads command lines (see the top of this file).
void InputLoop(int ep1) {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string cmd;
        if (!(words >> cmd))
            continue;
        if (cmd == "in") {
            std::vector<std::uint8_t> report;
            std::string byte;
            while (words >> byte && report.size() < 8)
                report.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
            if (SendReport(ep1, report.data(), report.size()))
                Log("IN-SENT %s", Hex(report.data(), report.size()).c_str());
            continue;
        }
        unsigned long n = 0;
        unsigned seed = 0;
        std::string arg;
        if ((cmd == "burst" || cmd == "timed") && words >> n >> seed) {
            if (cmd == "burst")
                Burst(ep1, n, seed);
            else
                Timed(ep1, n, seed);
        } else if (cmd == "quiet" && words >> arg && (arg == "on" || arg == "off")) {
            quietFrames = arg == "on";
        } else if (cmd == "stats") {
            Stats();
        } else {
            Log("BAD-COMMAND %s", line.c_str());
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string dir;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--stamp") == 0)
            stampLines = true;
        else
            dir = argv[i];
    }
    if (dir.empty()) {
        std::fprintf(stderr, "usage: pendant-gadget [--stamp] FFS_MOUNT_DIR\n");
        return 2;
    }
    const int ep0 = open((dir + "/ep0").c_str(), O_RDWR);
    if (ep0 < 0) {
        std::perror("open ep0");
        return 1;
    }
    if (!gadget::WriteAll(ep0, gadget::Descriptors()) ||
        !gadget::WriteAll(ep0, gadget::Strings())) {
        std::perror("write descriptors");
        return 1;
    }
    const int ep1 = open((dir + "/ep1").c_str(), O_RDWR);
    if (ep1 < 0) {
        std::perror("open ep1");
        return 1;
    }
    Log("READY");
    std::thread(InputLoop, ep1).detach();

    Ep0Server server(ep0);
    usb_functionfs_event events[4];
    for (;;) {
        const ssize_t n = read(ep0, events, sizeof events);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            Log("EP0-READ-FAILED %s", std::strerror(errno));
            return 1;
        }
        for (ssize_t i = 0; i < n / static_cast<ssize_t>(sizeof events[0]); ++i) {
            const auto& ev = events[i];
            if (ev.type == FUNCTIONFS_SETUP)
                server.Setup(ev.u.setup);
            else
                Log("EVENT %s", gadget::EventName(ev.type));
        }
    }
}
