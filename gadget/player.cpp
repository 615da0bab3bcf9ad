#include "gadget/player.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "gadget/log.h"
#include "protocol/wire.h"

namespace gadget {

namespace {

// Random wheel reports, the count +-1..31, cut to 6 bytes or whole.
class JogSource {
  public:
    explicit JogSource(unsigned seed) : rng_(seed) {}

    // Fills report (WheelReportBytes) and returns its length; axis is 0-2
    // for a report that moves that axis by count, -1 for one that selects
    // none.
    std::size_t Next(std::uint8_t* report, bool mustMove, int& axis, int& count) {
        // Codes either side of the axes' and none at all.
        static const std::uint8_t NoAxisCodes[] = {AxisCodeNone, AxisCodeFirst - 1,
                                                   AxisCodeLast + 1, 0x20};
        const bool moves = mustMove || Pick(10) != 0; // one in ten selects nothing
        axis = moves ? static_cast<int>(Pick(3)) : -1;
        const std::uint8_t code = moves ? AxisCodeOf(axis + 1) : NoAxisCodes[Pick(4)];
        count = static_cast<int>(Pick(31)) + 1;
        if (Pick(2) != 0)
            count = -count;
        // Keep every axis well inside what the display shows (16-bit
        // integer part), whatever the seed.
        if (axis >= 0 && std::abs(walk_[axis] + count) > 30000)
            count = -count;
        if (axis >= 0)
            walk_[axis] += count;
        const auto whole = WheelReport(0, count);
        std::copy(whole.begin(), whole.end(), report);
        report[AxisCodeByte] = code;
        return Pick(2) != 0 ? WheelReportBytes : 6;
    }

  private:
    unsigned Pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng_); }
    std::mt19937 rng_;
    long walk_[3] = {0, 0, 0};
};

// The length a random report goes out with: the pendant's report size, or
// with --raw the 6 or 8 bytes drawn, as a malformed pendant sends.
std::size_t LengthOf(const PendantFunction& function, std::size_t drawn) {
    const Layout& layout = function.GetLayout();
    return layout.raw ? drawn : layout.reportBytes;
}

// N random reports as fast as the host reads them: mostly moving, some on
// codes that select no axis; with --raw, 6 bytes (a short packet) or 8 (a
// full one).
void Burst(PendantFunction& function, unsigned long n, unsigned seed) {
    JogSource source(seed);
    unsigned long sent = 0, moving = 0, shortOnes = 0;
    long sum[3] = {0, 0, 0};
    for (; sent < n; ++sent) {
        std::uint8_t report[InputReportBytes] = {};
        int axis = 0, count = 0;
        const std::size_t len = LengthOf(function, source.Next(report, false, axis, count));
        if (!function.Send(report, len))
            break;
        shortOnes += len < WheelReportBytes;
        if (axis >= 0) {
            ++moving;
            sum[axis] += count;
        }
    }
    Log("BURST-DONE sent=%lu moving=%lu short=%lu full=%lu sum=%ld %ld %ld", sent, moving,
        shortOnes, sent - shortOnes, sum[0], sum[1], sum[2]);
}

// N moving reports, one at a time after a random pause of 0-39 ms; each is
// timed from just before it is queued to the arrival of the sixth display
// report of the frame it causes.
void Timed(PendantFunction& function, unsigned long n, unsigned seed) {
    JogSource source(seed);
    std::mt19937 pauses(seed ^ 0x5bd1e995u);
    std::vector<long long> took;
    unsigned long missed = 0;
    for (unsigned long i = 0; i < n && !StopRequested(); ++i) {
        // The report meets the tool anywhere in its 30 ms read.
        usleep(std::uniform_int_distribution<unsigned>(0, 39)(pauses) * 1000);
        std::uint8_t report[InputReportBytes] = {};
        int axis = 0, count = 0;
        const std::size_t len = LengthOf(function, source.Next(report, true, axis, count));
        const unsigned long long framesBefore = function.Snapshot().frames;
        const long long queued = NowUs();
        if (!function.Send(report, len))
            break;
        if (function.WaitFrameAfter(framesBefore, 5000)) {
            took.push_back(function.Snapshot().lastFrameUs - queued);
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

void Stats(PendantFunction& function) {
    const Counters c = function.Snapshot();
    Log("STATS in=%llu setups=%llu display_reports=%llu frames=%llu bad_frames=%llu "
        "last=%.4f %.4f %.4f",
        c.inSent, c.setups, c.displayReports, c.frames, c.badFrames, c.last[0], c.last[1],
        c.last[2]);
}

} // namespace

std::string Plug(ConfigfsGadget& usb) {
    const std::string problem = usb.Bind();
    if (problem.empty())
        Log("PLUGGED %s", usb.Udc().c_str());
    return problem;
}

std::string Unplug(ConfigfsGadget& usb) {
    const std::string problem = usb.Unbind();
    if (problem.empty())
        Log("UNPLUGGED");
    return problem;
}

std::string RunStep(const play::Step& step, const play::PendantPort& port,
                    PendantFunction& function) {
    switch (step.op) {
    case play::Op::Burst:
        Burst(function, step.count, step.seed);
        return StopRequested() ? "stopped" : "";
    case play::Op::Timed:
        Timed(function, step.count, step.seed);
        return StopRequested() ? "stopped" : "";
    case play::Op::Quiet:
        SetQuiet(step.on);
        return "";
    case play::Op::Stats:
        Stats(function);
        return "";
    default:
        // The parser's gadget dialect lets no other step through.
        return play::IsPortStep(step.op) ? play::RunPortStep(step, port)
                                         : "not a pendant-gadget command";
    }
}

} // namespace gadget
