// The check's last two steps: the wheel, and unplugging the pendant.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "check/session.h"

namespace check_session {

void Check::Wheel() {
    CheckStep& step = Begin(3);
    if (!Readable(step))
        return;
    for (int a = 0; a < 3; ++a)
        device_.SetCoordinate(2, a, 0.0f);
    long long forward = 0, backward = 0, unused = 0, net[3] = {0, 0, 0}, peak[3] = {0, 0, 0};
    int largest = 0, ignored = 0, firstIgnored = -1;
    long long turning = 0;
    DWORD firstAt = 0, lastAt = 0;
    auto count = [&] {
        const UCHAR raw = device_.LastReport[JogDeltaByte];
        const int c = DecodeJog(raw);
        if (c == 0) {
            if (raw != 0) {
                ++ignored;
                if (firstIgnored < 0)
                    firstIgnored = raw;
            }
            return;
        }
        const int axis = AxisIndexOf(axisCode_);
        const int size = std::abs(c);
        if (axis < 0) {
            unused += size;
            return;
        }
        (c > 0 ? forward : backward) += size;
        net[axis] += c;
        if (std::llabs(net[axis]) > std::llabs(peak[axis]))
            peak[axis] = net[axis];
        if (size > largest)
            largest = size;
        const DWORD now = GetTickCount();
        if (turning++ == 0)
            firstAt = now;
        lastAt = now;
    };
    struct Way {
        CheckPrompt prompt;
        const char* words;
        long long* total;
    };
    const Way ways[] = {{CheckPrompt::WheelForward, "forward", &forward},
                        {CheckPrompt::WheelBackward, "backward", &backward}};
    bool failed = false;
    for (const Way& w : ways) {
        const int selected = AxisIndexOf(axisCode_);
        if (selected < 0)
            std::printf("  Turn the selector to 1, 2 or 3 (with it off the wheel moves nothing), "
                        "then the wheel %s by at least %d counts.\n",
                        w.words, WheelCountsNeeded);
        else
            std::printf("  Turn the wheel %s by at least %d counts (selector on %d).\n", w.words,
                        WheelCountsNeeded, selected + 1);
        const Came came = Await(step, w.prompt, Takes::Nothing, [&] {
            if (reportNow_)
                count();
            return *w.total >= WheelCountsNeeded;
        });
        if (came == Came::Settled)
            return;
        if (came == Came::Done) {
            std::printf("  -> %lld counts %s\n", *w.total, w.words);
            continue;
        }
        const std::string why = std::to_string(*w.total) + " of " +
                                std::to_string(WheelCountsNeeded) + " counts " + w.words;
        std::printf("  -> only %s within %g s\n", why.c_str(), Seconds());
        if (!failed) {
            Timeout(step, "only " + why);
            failed = true;
        }
    }
    // The counts of the last reports are sent now, so that what is judged is
    // what the pendant was given.
    const unsigned refusedBefore = device_.DisplaySendFailures;
    device_.SendDisplay();
    const protocol::DecodedDisplay shown = SentDisplay(device_);
    const double seconds = static_cast<double>(lastAt - firstAt) / 1000.0;
    const double perSecond =
        turning > 1 && seconds > 0 ? static_cast<double>(turning - 1) / seconds : NAN;
    step.figures = {Integer("forwardCounts", forward),
                    Integer("backwardCounts", backward),
                    Integer("largestCount", largest),
                    Integer("ignoredReports", ignored),
                    Integer("countsWithSelectorOff", unused),
                    Integer("turningReports", turning),
                    Number("reportsPerSecond", perSecond),
                    Number("displayAxis1", shown.CoordSet2[0]),
                    Number("displayAxis2", shown.CoordSet2[1]),
                    Number("displayAxis3", shown.CoordSet2[2]),
                    Integer("peakAxis1", peak[0]),
                    Integer("peakAxis2", peak[1]),
                    Integer("peakAxis3", peak[2])};
    std::printf("  Largest count in one report: %d; %lld reports while turning", largest, turning);
    if (!std::isnan(perSecond))
        std::printf(", %.1f a second", perSecond);
    std::printf("\n");
    char why[160] = "";
    for (int a = 0; a < 3 && why[0] == '\0'; ++a)
        if (std::fabs(shown.CoordSet2[a] - static_cast<double>(net[a])) > 0.0005)
            std::snprintf(why, sizeof why,
                          "the display got %.3f for axis %d, the counts add to %lld",
                          shown.CoordSet2[a], a + 1, net[a]);
    if (why[0] == '\0' && device_.DisplaySendFailures != refusedBefore)
        std::snprintf(why, sizeof why, "the pendant refused the display reports");
    if (ignored != 0) {
        std::printf("  %d reports carried a count the tool ignores (first 0x%02x): counts go to "
                    "+-%d\n",
                    ignored, firstIgnored, JogMaxCount);
        if (!failed) {
            std::snprintf(why, sizeof why, "%d report%s with a count outside +-%d (first 0x%02x)",
                          ignored, ignored == 1 ? "" : "s", JogMaxCount, firstIgnored);
        }
    }
    if (!failed && why[0] != '\0') {
        step.result = StepResult::Fail;
        step.why = why;
        failed = true;
    }
    if (failed)
        return;
    if (options_.person) {
        // The axis turned most, as the person saw it move.
        int most = 0;
        for (int a = 1; a < 3; ++a)
            if (std::llabs(peak[a]) > std::llabs(peak[most]))
                most = a;
        std::printf("  While you turned, axis %d of the second set should have counted to %+.3f, "
                    "and it should now show %+.3f.\n",
                    most + 1, static_cast<double>(peak[most]), shown.CoordSet2[most]);
        std::printf("  Did it? Type y or n and Enter (Enter alone skips).\n");
        const Reply reply = Ask(step, CheckPrompt::WheelDisplay, "no answer",
                                "no answer whether the display followed");
        if (reply == Reply::No) {
            step.result = StepResult::Fail;
            step.why = "the display did not follow the wheel";
        }
        if (reply != Reply::Yes)
            return;
    }
    step.result = StepResult::Pass;
}

void Check::Unplug() {
    CheckStep& step = Begin(4);
    if (!Person(step, "to unplug the pendant"))
        return;
    // Only a read tells that the pendant has gone.
    if (!Readable(step))
        return;
    std::printf("  Unplug the pendant now (Enter skips this step).\n");
    const Came came = Await(step, CheckPrompt::Unplug, Takes::Nothing, [] { return false; });
    if (came == Came::Settled)
        return;
    if (came == Came::TimedOut) {
        std::printf("  -> not unplugged within %g s\n", Seconds());
        step.result = StepResult::Skipped;
        step.why = "not unplugged within " + std::to_string(options_.stepTimeoutMs / 1000) + " s";
        return;
    }
    const DWORD goneAt = GetTickCount();
    std::printf("  -> gone. Plug it in again.\n");
    switch (Wait(CheckPrompt::PlugIn, Takes::Nothing, [] { return false; })) {
    case WaitEnd::Done: {
        const DWORD away = GetTickCount() - goneAt;
        std::printf("\n  -> found again after %.1f s\n", static_cast<double>(away) / 1000.0);
        step.figures = {Integer("awayMs", away)};
        step.result = StepResult::Pass;
        return;
    }
    case WaitEnd::TimedOut:
        std::printf("  -> not found again within %g s\n", Seconds());
        Timeout(step, "not found again");
        stopped_ = true;
        return;
    case WaitEnd::Skipped:
        std::printf("  -> skipped\n");
        step.result = StepResult::Skipped;
        step.why = "skipped with Enter while the pendant was away";
        stopped_ = true;
        return;
    case WaitEnd::Interrupted:
        Interrupted(step);
        return;
    case WaitEnd::Gone:
        return;
    }
}

} // namespace check_session
