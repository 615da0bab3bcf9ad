// The HID requests a pendant answers, as the virtual pendant and
// pendant-gadget both answer them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/hid_requests.h"
#include "protocol/report_descriptor.h"
#include "support/capture.h"

using namespace protocol;

namespace {

struct Request {
    std::vector<std::uint8_t> setup;
    std::vector<std::uint8_t> data = {};
};

// Answers the request and, where it is taken, takes it, as a device does.
HidReply Ask(HidPendantState& s, const Request& r) {
    const HidReply reply = AnswerHidRequest(r.setup.data(), s);
    TakeHidRequest(r.setup.data(), r.data.data(), r.data.size(), s);
    return reply;
}

const char* Name(HidOutcome o) {
    switch (o) {
    case HidOutcome::NotOurs:
        return "not ours";
    case HidOutcome::Stall:
        return "stall";
    case HidOutcome::Answer:
        return "answer";
    case HidOutcome::Accept:
        return "accept";
    }
    return "?";
}

HidPendantState Pendant(std::uint8_t subclass = 0) {
    HidPendantState s;
    s.subclass = subclass;
    s.reportDescriptor = PendantReportDescriptor(8);
    return s;
}

} // namespace

TEST(HidRequests, EachRequestAsHidDevicesAnswerIt) {
    const std::vector<std::uint8_t> descriptor = PendantReportDescriptor(8);
    struct {
        const char* what;
        std::uint8_t subclass;
        Request request;
        HidOutcome outcome;
        std::string data; // hex of an answer
    } cases[] = {
        {"report descriptor, as the tool asks it",
         0,
         {{0x81, 0x06, 0x00, 0x22, 0, 0, 0x00, 0x04}},
         HidOutcome::Answer,
         Hex(descriptor)},
        {"report descriptor, no longer than asked",
         0,
         {{0x81, 0x06, 0x00, 0x22, 0, 0, 3, 0}},
         HidOutcome::Answer,
         "06 00 FF"},
        {"another interface's request",
         0,
         {{0x81, 0x06, 0x00, 0x22, 1, 0, 0, 4}},
         HidOutcome::NotOurs,
         ""},
        {"a string descriptor is the device's, not the interface's",
         0,
         {{0x81, 0x06, 0x01, 0x03, 0, 0, 0xFF, 0}},
         HidOutcome::NotOurs,
         ""},
        {"GET_REPORT input 4 before any report: the wheel at rest",
         0,
         {{0xA1, 0x01, 0x04, 0x01, 0, 0, 8, 0}},
         HidOutcome::Answer,
         "04 00 00 00 00 00 00 00"},
        {"GET_REPORT feature 6 before any display",
         0,
         {{0xA1, 0x01, 0x06, 0x03, 0, 0, 8, 0}},
         HidOutcome::Answer,
         "06 00 00 00 00 00 00 00"},
        {"GET_REPORT of a report not declared",
         0,
         {{0xA1, 0x01, 0x05, 0x01, 0, 0, 8, 0}},
         HidOutcome::Stall,
         ""},
        {"GET_REPORT output: the pendant has none",
         0,
         {{0xA1, 0x01, 0x04, 0x02, 0, 0, 8, 0}},
         HidOutcome::Stall,
         ""},
        {"GET_IDLE", 0, {{0xA1, 0x02, 0x00, 0x00, 0, 0, 1, 0}}, HidOutcome::Answer, "00"},
        {"SET_IDLE", 0, {{0x21, 0x0A, 0x00, 0x7D, 0, 0, 0, 0}}, HidOutcome::Accept, ""},
        {"GET_PROTOCOL of a pendant that is no boot device",
         0,
         {{0xA1, 0x03, 0x00, 0x00, 0, 0, 1, 0}},
         HidOutcome::Stall,
         ""},
        {"GET_PROTOCOL of a boot device",
         1,
         {{0xA1, 0x03, 0x00, 0x00, 0, 0, 1, 0}},
         HidOutcome::Answer,
         "01"},
        {"SET_PROTOCOL of a pendant that is no boot device",
         0,
         {{0x21, 0x0B, 0x00, 0x00, 0, 0, 0, 0}},
         HidOutcome::Stall,
         ""},
        {"SET_PROTOCOL boot of a boot device",
         1,
         {{0x21, 0x0B, 0x00, 0x00, 0, 0, 0, 0}},
         HidOutcome::Accept,
         ""},
        {"SET_REPORT feature 6: the display",
         0,
         {{0x21, 0x09, 0x06, 0x03, 0, 0, 8, 0}, {0x06, 0xFE, 0xFD, 0x0F, 0, 0, 0, 0}},
         HidOutcome::Accept,
         ""},
        {"SET_REPORT of a feature not declared",
         0,
         {{0x21, 0x09, 0x05, 0x03, 0, 0, 8, 0}, {0x05, 0, 0, 0, 0, 0, 0, 0}},
         HidOutcome::Stall,
         ""},
        {"SET_REPORT output: the pendant has none",
         0,
         {{0x21, 0x09, 0x06, 0x02, 0, 0, 8, 0}, {0x06, 0, 0, 0, 0, 0, 0, 0}},
         HidOutcome::Stall,
         ""},
        {"an unknown class request", 0, {{0xA1, 0x07, 0, 0, 0, 0, 1, 0}}, HidOutcome::Stall, ""},
        {"a vendor request is not the HID class's",
         0,
         {{0xC1, 0x01, 0, 0, 0, 0, 1, 0}},
         HidOutcome::NotOurs,
         ""},
    };
    for (const auto& c : cases) {
        HidPendantState s = Pendant(c.subclass);
        const HidReply reply = Ask(s, c.request);
        EXPECT_STREQ(Name(reply.outcome), Name(c.outcome)) << c.what;
        EXPECT_EQ(Hex(reply.data), c.data) << c.what;
    }
}

TEST(HidRequests, StateFollowsWhatWasSentAndSet) {
    HidPendantState s = Pendant(1);
    s.inputReportBytes = 10;
    s.lastInput = {0x04, 0x00, 0x00, 0x12, 0x02, 0x00, 0x00, 0x00};
    EXPECT_EQ(Hex(Ask(s, {{0xA1, 0x01, 0x04, 0x01, 0, 0, 10, 0}}).data),
              "04 00 00 12 02 00 00 00 00 00")
        << "the latest report, at the declared size";
    const std::vector<std::uint8_t> display = {0x06, 0x08, 0x02, 0, 0, 0, 0, 0};
    Ask(s, {{0x21, 0x09, 0x06, 0x03, 0, 0, 8, 0}, display});
    EXPECT_EQ(Hex(Ask(s, {{0xA1, 0x01, 0x06, 0x03, 0, 0, 8, 0}}).data), Hex(display));
    Ask(s, {{0x21, 0x0A, 0x00, 0x7D, 0, 0, 0, 0}});
    EXPECT_EQ(Hex(Ask(s, {{0xA1, 0x02, 0x00, 0x00, 0, 0, 1, 0}}).data), "7D");
    Ask(s, {{0x21, 0x0B, 0x00, 0x00, 0, 0, 0, 0}});
    EXPECT_EQ(Hex(Ask(s, {{0xA1, 0x03, 0x00, 0x00, 0, 0, 1, 0}}).data), "00");
    EXPECT_EQ(Ask(s, {{0x21, 0x0B, 0x02, 0x00, 0, 0, 0, 0}}).outcome, HidOutcome::Stall)
        << "protocol 2 does not exist";
    s.reportDescriptor.clear();
    EXPECT_EQ(Ask(s, {{0x81, 0x06, 0x00, 0x22, 0, 0, 0, 4}}).outcome, HidOutcome::Stall)
        << "no descriptor to give";
}
