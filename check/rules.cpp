// The USB and HID rules: what every host requires of the pendant, not only
// what this tool needs. A pendant the tool drives well over WinUSB or usbfs
// may still be dropped by the HID driver of the next computer it meets, so
// its descriptors, its answers to the class requests hosts make and the
// reports it sent are judged as those hosts judge them.
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "check/session.h"
#include "protocol/host_rules.h"

namespace check_session {

namespace {

enum Rule {
    DeviceRule,
    HidRule,
    ReportRule,
    PendantRule,
    InRule,
    RequestsRule,
    SentRule,
    RuleCount
};

constexpr ULONG ConfigurationMaxBytes = 4096;

std::string Error(const char* request, DWORD error) {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (error %lu)", request,
                  static_cast<unsigned long>(error));
    return text;
}

protocol::UsbSpeed SpeedOf(WINUSB_INTERFACE_HANDLE usb) {
    UCHAR speed = 0;
    ULONG length = sizeof speed;
    if (!WinUsb_QueryDeviceInformation(usb, DEVICE_SPEED, &length, &speed))
        return protocol::UsbSpeed::Unknown;
    switch (speed) {
    case LowSpeed:
        return protocol::UsbSpeed::Low;
    case FullSpeed:
        return protocol::UsbSpeed::Full;
    case HighSpeed:
        return protocol::UsbSpeed::High;
    default:
        return protocol::UsbSpeed::Unknown;
    }
}

// A class request to the interface: "" when answered or stalled (both are
// what a device may do), else why not.
std::string ClassRequest(WINUSB_INTERFACE_HANDLE usb, const WINUSB_SETUP_PACKET& setup,
                         const char* name, const char* whoAsks) {
    UCHAR buffer[DisplayReportBytes] = {};
    ULONG got = 0;
    if (WinUsb_ControlTransfer(usb, setup, setup.Length != 0 ? buffer : nullptr, setup.Length, &got,
                               nullptr))
        return "";
    const DWORD error = GetLastError();
    if (error == ERROR_GEN_FAILURE) // stalled
        return "";
    if (error == ERROR_SEM_TIMEOUT)
        return std::string(name) + " left unanswered until the host gave up: " + whoAsks;
    return Error(name, error);
}

void JudgeRule(CheckRule& rule, const std::string& fault) {
    rule.result = fault.empty() ? StepResult::Pass : StepResult::Fail;
    rule.why = fault;
}

void SkipRule(CheckRule& rule, const std::string& why) {
    rule.result = StepResult::Skipped;
    rule.why = why;
}

using ReportLengths = std::map<std::pair<UCHAR, ULONG>, unsigned>;

// The rules of a HID interface: its HID and report descriptors, the
// pendant's reports declared, the class requests and the reports as sent.
void JudgeHid(WINUSB_INTERFACE_HANDLE usb, const protocol::InterfaceFacts& facts, UCHAR iface,
              const ReportLengths& lengths, CheckStep& step) {
    std::vector<CheckRule>& rules = step.rules;
    std::vector<Figure>& figures = step.figures;

    // As much as a host would take, so that a device giving more or less
    // than its HID descriptor declares shows it.
    std::vector<UCHAR> descriptor(ReportDescriptorMaxBytes);
    WINUSB_SETUP_PACKET setup = ToWinUsbSetup(ReportDescriptorSetup);
    setup.Index = iface;
    setup.Length = ReportDescriptorMaxBytes;
    ULONG got = 0;
    const bool read =
        WinUsb_ControlTransfer(usb, setup, descriptor.data(), setup.Length, &got, nullptr) != FALSE;
    const std::string readFault =
        read ? ""
             : Error("GET_DESCRIPTOR (report)", GetLastError()) + ": hosts cannot read the reports";
    descriptor.resize(read ? got : 0);
    if (read)
        figures.push_back(Integer("reportDescriptorBytes", got));

    if (!facts.fault.empty())
        JudgeRule(rules[HidRule], facts.fault);
    else if (!facts.hidDescriptor)
        JudgeRule(rules[HidRule],
                  "no HID descriptor follows the interface: HID hosts do not take it");
    else if (!facts.reportDescriptorListed)
        JudgeRule(rules[HidRule],
                  "the HID descriptor lists no report descriptor: HID hosts do not take "
                  "the interface");
    else if (!read)
        JudgeRule(rules[HidRule], readFault);
    else {
        figures.push_back(Integer("reportDescriptorDeclared", facts.reportDescriptorBytes));
        char fault[200] = "";
        if (facts.reportDescriptorBytes != got)
            std::snprintf(fault, sizeof fault,
                          "the HID descriptor declares a report descriptor of %u bytes, "
                          "GET_DESCRIPTOR gave %lu: hosts read %u and misread or refuse it",
                          facts.reportDescriptorBytes, static_cast<unsigned long>(got),
                          facts.reportDescriptorBytes);
        JudgeRule(rules[HidRule], fault);
    }

    if (!read) {
        JudgeRule(rules[ReportRule], readFault);
        SkipRule(rules[PendantRule], "the report descriptor could not be read");
    } else {
        JudgeRule(rules[ReportRule],
                  protocol::ReportDescriptorFault(descriptor.data(), descriptor.size()));
    }
    const protocol::ReportLayout layout =
        protocol::DescribeReports(descriptor.data(), descriptor.size());
    if (read && !layout.ok)
        SkipRule(rules[PendantRule], "the report descriptor cannot be read to its end");
    else if (read)
        JudgeRule(rules[PendantRule], protocol::PendantReportsFault(layout));

    // Hosts ask these of every HID device; a stall is an answer, silence is not.
    WINUSB_SETUP_PACKET getReport = {HidRequestTypeClassInterfaceIn, HidGetReport,
                                     (HidReportTypeFeature << 8) | DisplayReportId, iface,
                                     DisplayReportBytes};
    WINUSB_SETUP_PACKET setIdle = {HidRequestTypeClassInterfaceOut, HidSetIdle, 0, iface, 0};
    std::string requests =
        ClassRequest(usb, getReport, "GET_REPORT (feature 6)",
                     "a host that reads the display's report waits that long each time");
    const std::string idle = ClassRequest(
        usb, setIdle, "SET_IDLE",
        "Linux's usbhid and Windows' HID driver send it whenever the pendant is plugged in");
    if (!idle.empty())
        requests += (requests.empty() ? "" : "; ") + idle;
    JudgeRule(rules[RequestsRule], requests);

    // The reports as the pendant sent them, against what it declares.
    unsigned reports = 0, mismatched = 0;
    std::size_t seen = 0, declared = 0;
    for (const auto& [key, count] : lengths) {
        reports += count;
        const UCHAR id = key.first;
        const std::size_t want = protocol::DeclaredInputBytes(layout, &id, key.second);
        if (want == key.second)
            continue;
        if (mismatched == 0) {
            seen = key.second;
            declared = want;
        }
        mismatched += count;
    }
    figures.push_back(Integer("reportsRead", reports));
    figures.push_back(Integer("reportsOfOtherLength", mismatched));
    if (!read || !layout.ok)
        SkipRule(rules[SentRule], "no report lengths declared to judge them by");
    else if (reports == 0)
        SkipRule(rules[SentRule], "no report was read");
    else
        JudgeRule(rules[SentRule],
                  protocol::ReportsAsSentFault(reports, mismatched, seen, declared));
}

// The rules of every USB device: its device descriptor and its IN
// endpoint; and, for a HID interface, the HID ones.
void JudgeUsb(const PendantDevice& pendant, const ReportLengths& lengths, CheckStep& step) {
    std::vector<CheckRule>& rules = step.rules;
    std::vector<Figure>& figures = step.figures;
    const WINUSB_INTERFACE_HANDLE usb = pendant.UsbInterface;
    const protocol::UsbSpeed speed = SpeedOf(usb);
    figures.push_back(speed == protocol::UsbSpeed::Unknown
                          ? Figure{"speed", "null"}
                          : Integer("speed", static_cast<int>(speed)));

    // The device descriptor, asked for again: what the survey kept may be
    // from before a replug.
    UCHAR device[18] = {};
    ULONG got = 0;
    if (WinUsb_GetDescriptor(usb, USB_DEVICE_DESCRIPTOR_TYPE, 0, 0, device, sizeof device, &got)) {
        JudgeRule(rules[DeviceRule], protocol::DeviceDescriptorFault(device, got, speed));
        figures.push_back(Integer("maxPacket0", device[7]));
    } else {
        JudgeRule(rules[DeviceRule],
                  Error("GET_DESCRIPTOR (device)", GetLastError()) + ": hosts refuse the device");
    }

    USB_INTERFACE_DESCRIPTOR iface = {};
    if (!WinUsb_QueryInterfaceSettings(usb, 0, &iface))
        iface.bInterfaceClass = pendant.InterfaceClass;
    std::vector<UCHAR> config(ConfigurationMaxBytes);
    protocol::InterfaceFacts facts;
    if (WinUsb_GetDescriptor(usb, USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0, config.data(),
                             ConfigurationMaxBytes, &got))
        facts = protocol::ReadInterfaceFacts(config.data(), got, iface.bInterfaceNumber,
                                             pendant.ReadPipeId);
    else
        facts.fault = Error("GET_DESCRIPTOR (configuration)", GetLastError());

    // The interrupt IN endpoint, within its speed's limits.
    if ((pendant.ReadPipeId & USB_ENDPOINT_DIRECTION_MASK) == 0)
        SkipRule(rules[InRule], "no IN pipe");
    else if (!facts.fault.empty())
        JudgeRule(rules[InRule], facts.fault);
    else if (speed == protocol::UsbSpeed::Unknown)
        SkipRule(rules[InRule], "the platform did not say the device's speed");
    else if (iface.bInterfaceClass != UsbClassHid && facts.inEndpointFound &&
             (facts.inAttributes & 3) != 3)
        SkipRule(rules[InRule], "a bulk IN pipe of a vendor interface: no interval to judge");
    else
        JudgeRule(rules[InRule], protocol::InterruptInFault(facts, speed));
    if (facts.inEndpointFound) {
        figures.push_back(Integer("inMaxPacket", facts.inMaxPacket));
        figures.push_back(Integer("inInterval", facts.inInterval));
    }

    if (iface.bInterfaceClass != UsbClassHid) {
        char why[64];
        std::snprintf(why, sizeof why, "not a HID interface (class %u)", iface.bInterfaceClass);
        for (Rule r : {HidRule, ReportRule, PendantRule, RequestsRule, SentRule})
            SkipRule(rules[r], why);
        return;
    }
    JudgeHid(usb, facts, iface.bInterfaceNumber, lengths, step);
}

} // namespace

std::vector<CheckRule> FreshRules() {
    static const char* const names[RuleCount][2] = {
        {"device-descriptor", "Device descriptor"}, {"hid-descriptor", "HID descriptor"},
        {"report-descriptor", "Report descriptor"}, {"pendant-reports", "Pendant reports"},
        {"interrupt-in", "Interrupt IN endpoint"},  {"class-requests", "Class requests"},
        {"reports-as-sent", "Reports as sent"}};
    std::vector<CheckRule> rules(RuleCount);
    for (int i = 0; i < RuleCount; ++i) {
        rules[i].key = names[i][0];
        rules[i].title = names[i][1];
    }
    return rules;
}

void PrintRule(const CheckRule& rule) {
    if (rule.why.empty())
        std::printf("    %-24s %s\n", rule.title, ResultWord(rule.result));
    else
        std::printf("    %-24s %-8s %s\n", rule.title, ResultWord(rule.result), rule.why.c_str());
}

void Check::Rules() {
    CheckStep& step = Begin(StepCount - 1);
    std::vector<CheckRule>& rules = step.rules;
    if (device_.ThroughHid) {
        for (CheckRule& rule : rules)
            SkipRule(rule,
                     "the system's HID driver keeps descriptors and requests to itself (check "
                     "without --hid to judge them)");
        SkipRule(rules[SentRule], "the system's HID driver passes on only reports of the declared "
                                  "length");
    } else {
        JudgeUsb(device_, reportLengths_, step);
    }
    for (const CheckRule& rule : rules)
        PrintRule(rule);

    std::string failed;
    bool judged = false;
    for (const CheckRule& rule : rules) {
        judged = judged || rule.result != StepResult::Skipped;
        if (rule.result == StepResult::Fail)
            failed += (failed.empty() ? "" : ", ") + std::string(rule.title);
    }
    if (!failed.empty()) {
        step.result = StepResult::Fail;
        step.why = failed;
    } else if (!judged) {
        step.result = StepResult::Skipped;
        step.why = "reached through the system's HID driver";
    } else {
        step.result = StepResult::Pass;
    }
}

} // namespace check_session
