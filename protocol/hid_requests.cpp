#include "protocol/hid_requests.h"

#include <algorithm>

namespace protocol {

namespace {

HidReply Answer(std::vector<std::uint8_t> data, std::size_t wLength) {
    if (data.size() > wLength)
        data.resize(wLength);
    return {HidOutcome::Answer, std::move(data)};
}

HidReply Stall() {
    return {HidOutcome::Stall, {}};
}

// The input report GET_REPORT gives: the latest one sent, at the declared
// size; before any, the wheel at rest.
std::vector<std::uint8_t> CurrentInput(const HidPendantState& s) {
    std::vector<std::uint8_t> report = s.lastInput;
    if (report.empty()) {
        const auto rest = WheelReport(0, 0);
        report.assign(rest.begin(), rest.end());
    }
    report.resize(s.inputReportBytes, 0);
    return report;
}

} // namespace

HidReply AnswerHidRequest(const std::uint8_t* setup, const HidPendantState& s) {
    const std::uint8_t requestType = setup[0];
    const std::uint8_t request = setup[1];
    const std::uint8_t valueLow = setup[2];
    const std::uint8_t valueHigh = setup[3];
    const std::uint16_t index = GetLe16(setup + 4);
    const std::uint16_t wLength = GetLe16(setup + 6);
    if (index != s.interfaceNumber)
        return {};

    if (requestType == StandardRequestTypeInterfaceIn && request == UsbGetDescriptor) {
        if (valueHigh != HidReportDescriptorType)
            return {};
        if (s.reportDescriptor.empty())
            return Stall();
        return Answer(s.reportDescriptor, wLength);
    }

    const bool boot = s.subclass == 1;
    if (requestType == HidRequestTypeClassInterfaceIn) {
        switch (request) {
        case HidGetReport:
            if (valueHigh == HidReportTypeInput && valueLow == WheelReportId)
                return Answer(CurrentInput(s), wLength);
            if (valueHigh == HidReportTypeFeature && valueLow == DisplayReportId)
                return Answer({s.lastFeature.begin(), s.lastFeature.end()}, wLength);
            return Stall();
        case HidGetIdle:
            return Answer({s.idleRate}, wLength);
        case HidGetProtocol:
            if (!boot)
                return Stall();
            return Answer({s.protocol}, wLength);
        default:
            return Stall();
        }
    }
    if (requestType == HidRequestTypeClassInterfaceOut) {
        switch (request) {
        case HidSetReport:
            if (valueHigh != HidReportTypeFeature || valueLow != DisplayReportId)
                return Stall();
            return {HidOutcome::Accept, {}};
        case HidSetIdle:
            return {HidOutcome::Accept, {}};
        case HidSetProtocol:
            if (!boot || valueLow > 1)
                return Stall();
            return {HidOutcome::Accept, {}};
        default:
            return Stall();
        }
    }
    return {};
}

void TakeHidRequest(const std::uint8_t* setup, const std::uint8_t* data, std::size_t length,
                    HidPendantState& s) {
    if (AnswerHidRequest(setup, s).outcome != HidOutcome::Accept)
        return;
    switch (setup[1]) {
    case HidSetReport:
        if (length == DisplayReportBytes && data[0] == DisplayReportId)
            std::copy(data, data + length, s.lastFeature.begin());
        break;
    case HidSetIdle:
        s.idleRate = setup[3];
        break;
    case HidSetProtocol:
        s.protocol = setup[2];
        break;
    default:
        break;
    }
}

} // namespace protocol
