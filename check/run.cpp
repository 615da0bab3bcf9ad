// The check from start to end: the record opened, the pendant opened, the
// steps run, the summary, the verdict and the record written.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/opening.h"
#include "check/session.h"

const protocol::DisplayValues CheckPatterns[CheckPatternCount] = {
    {{1234.567f, 2345.678f, 3456.789f},
     {-4567.891f, -5678.912f, -6789.123f},
     {12345, 23456, 34567, 45678}},
    {{-5678.901f, -6789.012f, -7890.123f},
     {8901.234f, 9012.345f, 5012.454f},
     {61234, 50123, 40312, 56789}},
};

const char* CheckPromptName(CheckPrompt prompt) {
    switch (prompt) {
    case CheckPrompt::None:
        return "none";
    case CheckPrompt::Pattern1:
        return "pattern-1";
    case CheckPrompt::Pattern2:
        return "pattern-2";
    case CheckPrompt::AxisOff:
        return "axis-off";
    case CheckPrompt::Axis1:
        return "axis-1";
    case CheckPrompt::Axis2:
        return "axis-2";
    case CheckPrompt::Axis3:
        return "axis-3";
    case CheckPrompt::WheelForward:
        return "wheel-forward";
    case CheckPrompt::WheelBackward:
        return "wheel-backward";
    case CheckPrompt::WheelDisplay:
        return "wheel-display";
    case CheckPrompt::Unplug:
        return "unplug";
    case CheckPrompt::PlugIn:
        return "plug-in";
    }
    return "none";
}

namespace check_session {

void Check::Run() {
    device_.Trace = false;
    std::printf("\n\nCheck of the pendant: %u steps. Each wait ends after %g s; Enter skips a "
                "step, Ctrl+C ends the check.\n",
                static_cast<unsigned>(StepCount), Seconds());
    Connection();
    void (Check::*const rest[])() = {&Check::Display, &Check::Axis, &Check::Wheel, &Check::Unplug,
                                     &Check::Rules};
    for (auto step : rest) {
        if (stopped_)
            break;
        (this->*step)();
    }
    for (CheckStep& step : record_.steps)
        if (step.result == StepResult::NotRun) {
            step.result = StepResult::Skipped;
            step.why = CtrlCPressed() ? "the check was ended with Ctrl+C"
                                      : "not reached: the pendant went away";
        }
    for (CheckStep& step : record_.steps)
        for (CheckRule& rule : step.rules)
            if (rule.result == StepResult::NotRun) {
                rule.result = StepResult::Skipped;
                rule.why = step.why;
            }
}

} // namespace check_session

namespace {

using namespace check_session;

std::vector<CheckStep> FreshSteps() {
    std::vector<CheckStep> steps(StepCount);
    const char* const names[StepCount][2] = {{"connection", "Connection"},
                                             {"display", "Display"},
                                             {"axis", "Axis selector"},
                                             {"wheel", "Wheel"},
                                             {"unplug", "Unplug and plug in again"},
                                             {"rules", "USB and HID rules"}};
    for (std::size_t i = 0; i < StepCount; ++i) {
        steps[i].key = names[i][0];
        steps[i].title = names[i][1];
    }
    steps[StepCount - 1].rules = FreshRules();
    return steps;
}

// The summary, the verdict and the exit status.
int Conclude(CheckRecord& record) {
    std::printf("\nSummary\n");
    std::string failed;
    int passed = 0, skipped = 0;
    for (const CheckStep& s : record.steps) {
        if (s.why.empty())
            std::printf("  %-26s %s\n", s.title, ResultWord(s.result));
        else
            std::printf("  %-26s %-8s %s\n", s.title, ResultWord(s.result), s.why.c_str());
        for (const CheckRule& rule : s.rules)
            PrintRule(rule);
        if (s.result == StepResult::Fail) {
            failed += (failed.empty() ? "" : ", ") + std::string(s.title);
            // A step of rules names the ones that failed.
            std::string rules;
            for (const CheckRule& rule : s.rules)
                if (rule.result == StepResult::Fail)
                    rules += (rules.empty() ? "" : ", ") + std::string(rule.title);
            if (!rules.empty())
                failed += " [" + rules + "]";
        }
        passed += s.result == StepResult::Pass;
        skipped += s.result == StepResult::Skipped;
    }
    if (CtrlCPressed()) {
        record.verdict = "INTERRUPTED";
        record.exitStatus = CheckInterrupted;
        std::printf("Verdict: none, the check was ended with Ctrl+C\n");
    } else if (!failed.empty()) {
        record.verdict = "FAIL";
        record.exitStatus = CheckFailed;
        std::printf("Verdict: FAIL (%s)\n", failed.c_str());
    } else {
        record.verdict = "PASS";
        record.exitStatus = CheckPassed;
        std::printf("Verdict: PASS (%d passed, %d skipped)\n", passed, skipped);
    }
    std::fflush(stdout);
    return record.exitStatus;
}

// Writes the record where asked; a record that could not be kept turns a
// pass into a failure, since a workshop relies on it.
int Keep(std::FILE* file, const CheckOptions& options, CheckRecord& record, int status) {
    if (file == nullptr)
        return status;
    record.ended = UtcNow();
    const std::string json = RecordJson(record);
    const bool written = std::fwrite(json.data(), 1, json.size(), file) == json.size();
    const bool closed = std::fclose(file) == 0;
    if (written && closed)
        return status;
    std::fprintf(stderr, "pendant-test: could not write the record to %s: %s\n",
                 options.reportPath.c_str(), std::strerror(errno));
    return status == CheckPassed ? CheckFailed : status;
}

} // namespace

int RunCheck(const CheckOptions& options, const CheckPerson& person) {
    CheckRecord record;
    record.started = UtcNow();
    record.stepTimeoutSeconds = static_cast<unsigned>(options.stepTimeoutMs / 1000);
    record.person = options.person;
    record.steps = FreshSteps();

    // Opened before the pendant, so that a record that cannot be kept is
    // said before anyone turns a wheel.
    std::FILE* file = nullptr;
    if (!options.reportPath.empty()) {
        file = std::fopen(options.reportPath.c_str(), "wb");
        if (file == nullptr) {
            std::fprintf(stderr, "pendant-test: cannot write the record to %s: %s\n",
                         options.reportPath.c_str(), std::strerror(errno));
            return CheckNotOpened;
        }
    }

    PendantDevice device;
    device.ThroughHid = options.hid;
    const Opening opening = OpenPendant(device, SayWhy::Closing);
    if (!opening.Opened()) {
        record.verdict = "NOT OPENED";
        record.exitStatus = CheckNotOpened;
        record.steps[0].result = StepResult::Fail;
        char why[80];
        std::snprintf(why, sizeof why,
                      opening.noDevice ? "no pendant found"
                                       : "the pendant could not be opened (0x%08x)",
                      static_cast<unsigned>(opening.result));
        record.steps[0].why = why;
        for (std::size_t i = 1; i < record.steps.size(); ++i) {
            record.steps[i].result = StepResult::Skipped;
            record.steps[i].why = "no pendant";
            for (CheckRule& rule : record.steps[i].rules) {
                rule.result = StepResult::Skipped;
                rule.why = "no pendant";
            }
        }
        return Keep(file, options, record, CheckNotOpened);
    }
    record.opened = true;
    record.devicePath = device.DevicePath;
    record.pendant = {Integer("vendorId", device.DeviceDescriptor.idVendor),
                      Integer("productId", device.DeviceDescriptor.idProduct),
                      Integer("deviceRelease", device.DeviceDescriptor.bcdDevice)};
    for (Figure& f : PipeFigures(device))
        record.pendant.push_back(std::move(f));

    const bool handling = Arm();
    Check check(options, person, device, record);
    check.Run();
    device.Close();
    if (handling)
        Disarm();
    const int status = Conclude(record);
    return Keep(file, options, record, status);
}
