// The check's first three steps: the connection, the display patterns and
// the axis selector.
#include <cstdio>

#include "check/session.h"

namespace check_session {

namespace {

void PrintValues(const protocol::DecodedDisplay& d) {
    // Four decimals, as the frame carries them: the tool rounds to three,
    // and a display that shows the fourth shows what single precision
    // left there.
    std::printf("    set 1: %+11.4f %+11.4f %+11.4f\n", d.CoordSet1[0], d.CoordSet1[1],
                d.CoordSet1[2]);
    std::printf("    set 2: %+11.4f %+11.4f %+11.4f\n", d.CoordSet2[0], d.CoordSet2[1],
                d.CoordSet2[2]);
    std::printf("    words: %11u %11u %11u %11u\n", static_cast<unsigned>(d.DisplayWord[0]),
                static_cast<unsigned>(d.DisplayWord[1]), static_cast<unsigned>(d.DisplayWord[2]),
                static_cast<unsigned>(d.DisplayWord[3]));
}

} // namespace

// What the pendant is sent for these values, decoded as its display shows it.
protocol::DecodedDisplay SentDisplay(const PendantDevice& device) {
    DisplayFrame frame;
    device.BuildDisplayFrame(frame);
    protocol::DecodedDisplay shown;
    protocol::DecodeDisplayFrame(frame, shown);
    return shown;
}

std::vector<Figure> PipeFigures(const PendantDevice& d) {
    return {Integer("readPipe", d.ReadPipeId), Integer("packetBytes", d.ReadPacketBytes),
            Integer("interfaceClass", d.InterfaceClass),
            Integer("reportBytes", d.DeclaredReportBytes), Integer("readBytes", d.ReadLength)};
}

void Check::Connection() {
    CheckStep& step = Begin(0);
    const PendantDevice& d = device_;
    step.figures = PipeFigures(d);
    std::printf("  Vendor 0x%04x, product 0x%04x; interface class %u%s\n",
                d.DeviceDescriptor.idVendor, d.DeviceDescriptor.idProduct, d.InterfaceClass,
                d.InterfaceClass == UsbClassHid ? " (HID)" : "");
    char why[160] = "";
    if (d.ThroughHid) {
        // The driver keeps the pipes to itself: its word on the reports is
        // what there is to judge (and what found the pendant).
        std::printf("  Reached through the system's HID driver: input reports of %lu bytes, "
                    "feature reports of %u bytes\n",
                    static_cast<unsigned long>(d.ReadLength), d.FeatureReportBytes);
        if (d.ReadLength < InputReportLookedAt)
            std::snprintf(why, sizeof why, "input reports of %lu bytes: the tool reads %u",
                          static_cast<unsigned long>(d.ReadLength),
                          static_cast<unsigned>(InputReportLookedAt));
        step.result = why[0] == '\0' ? StepResult::Pass : StepResult::Fail;
        step.why = why;
        readable_ = true;
        return;
    }
    if (d.ReadPipeId == 0) {
        std::snprintf(why, sizeof why, "no pipe to read reports from");
    } else {
        std::printf("  Reads pipe 0x%02x, %u bytes a packet, %lu bytes a read\n", d.ReadPipeId,
                    d.ReadPacketBytes, static_cast<unsigned long>(d.ReadLength));
        if ((d.ReadPipeId & USB_ENDPOINT_DIRECTION_MASK) == 0)
            std::snprintf(why, sizeof why, "the read pipe 0x%02x is an OUT pipe: no IN pipe",
                          d.ReadPipeId);
        else if (d.ReadPacketBytes == 0 || d.ReadPacketBytes > InputReportBytes)
            std::snprintf(why, sizeof why, "the IN pipe's packet size is %u bytes (1 to 64 work)",
                          d.ReadPacketBytes);
    }
    if (why[0] == '\0' && d.InterfaceClass == UsbClassHid) {
        if (d.DeclaredReportBytes == 0)
            std::snprintf(why, sizeof why,
                          "a HID interface whose report descriptor declares no input report");
        else if (d.DeclaredReportBytes < InputReportLookedAt)
            std::snprintf(why, sizeof why, "input reports of %lu bytes: the tool reads %u",
                          static_cast<unsigned long>(d.DeclaredReportBytes),
                          static_cast<unsigned>(InputReportLookedAt));
        else
            std::printf("  Report descriptor: input reports of %lu bytes\n",
                        static_cast<unsigned long>(d.DeclaredReportBytes));
    } else if (why[0] == '\0') {
        std::printf("  Not a HID interface: no report descriptor to read\n");
    }
    step.result = why[0] == '\0' ? StepResult::Pass : StepResult::Fail;
    step.why = why;
    readable_ = d.ReadPipeId != 0 && (d.ReadPipeId & USB_ENDPOINT_DIRECTION_MASK) != 0;
}

void Check::Display() {
    CheckStep& step = Begin(1);
    if (!Person(step, "to look at the display"))
        return;
    // The pattern is held only while the person judges it.
    struct Release {
        const protocol::DisplayValues*& held;
        ~Release() { held = nullptr; }
    } release{holding_};
    const unsigned refusedBefore = device_.DisplaySendFailures;
    for (int p = 0; p < CheckPatternCount; ++p) {
        const protocol::DisplayValues& v = CheckPatterns[p];
        Show(v);
        holding_ = &v;
        // Sent before the question, so that an answer typed ahead is an
        // answer about this pattern.
        device_.SendDisplay();
        std::printf("  Pattern %d sent. The display should show:\n", p + 1);
        PrintValues(SentDisplay(device_));
        std::printf("  Does it? Type y or n and Enter (Enter alone skips).\n");
        const CheckPrompt prompt = p == 0 ? CheckPrompt::Pattern1 : CheckPrompt::Pattern2;
        const std::string unanswered = "no answer for pattern " + std::to_string(p + 1);
        const Reply reply = Ask(step, prompt, unanswered, unanswered);
        if (reply == Reply::Settled)
            return;
        if (reply == Reply::No) {
            step.result = StepResult::Fail;
            step.why = "pattern " + std::to_string(p + 1) + " was not shown as sent";
            step.figures.push_back(Integer("rejectedPattern", p + 1));
        }
        if (step.result != StepResult::NotRun)
            break;
    }
    // A refused report means the pendant did not take what it was asked to
    // show, whatever the answer.
    const unsigned refused = device_.DisplaySendFailures - refusedBefore;
    step.figures.push_back(Integer("refusedReports", refused));
    if (step.result == StepResult::NotRun || step.result == StepResult::Pass) {
        if (refused != 0) {
            step.result = StepResult::Fail;
            step.why = std::to_string(refused) +
                       (refused == 1 ? " display report was" : " display reports were") +
                       " refused by the pendant";
        } else {
            step.result = StepResult::Pass;
        }
    }
}

void Check::Axis() {
    CheckStep& step = Begin(2);
    if (!Readable(step))
        return;
    struct Position {
        CheckPrompt prompt;
        const char* name;
        int axis; // -1: off
    };
    static const Position positions[] = {{CheckPrompt::AxisOff, "off", -1},
                                         {CheckPrompt::Axis1, "1", 0},
                                         {CheckPrompt::Axis2, "2", 1},
                                         {CheckPrompt::Axis3, "3", 2}};
    for (const Position& p : positions) {
        std::printf("  Turn the axis selector to %s.\n", p.name);
        const Came came = Await(step, p.prompt, Takes::Nothing,
                                [&] { return sawReport_ && AxisIndexOf(axisCode_) == p.axis; });
        if (came == Came::Settled)
            return;
        if (came == Came::TimedOut) {
            const std::string why = std::string("position ") + p.name + " did not come";
            std::printf("  -> %s within %g s%s\n", why.c_str(), Seconds(),
                        sawReport_ ? "" : " (no report at all)");
            Timeout(step, why);
            return;
        }
        std::printf("  -> seen: %s (code 0x%02x)\n", p.name, axisCode_);
        char name[16];
        std::snprintf(name, sizeof name, "code%s%s", p.axis < 0 ? "Off" : "Axis",
                      p.axis < 0 ? "" : p.name);
        step.figures.push_back(Integer(name, axisCode_));
    }
    step.result = StepResult::Pass;
}

} // namespace check_session
