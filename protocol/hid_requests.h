// How a pendant answers the requests a HID host makes of its interface:
// GET_DESCRIPTOR (report), and the HID class requests GET_REPORT and
// SET_REPORT (input report 4, feature report 6), GET_IDLE and SET_IDLE,
// and GET_PROTOCOL and SET_PROTOCOL where the subclass is the boot one.
// Written once for the virtual pendant and pendant-gadget, so both play HID
// as a device must and no host is surprised by one of them alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/wire.h"

namespace protocol {

// What a pendant holds to answer them.
struct HidPendantState {
    std::uint8_t interfaceNumber = 0;
    std::uint8_t subclass = 0; // 1: boot interface, which has the protocol requests
    std::vector<std::uint8_t> reportDescriptor;
    std::size_t inputReportBytes = DefaultInputReportBytes;
    std::vector<std::uint8_t> lastInput; // the latest input report sent; empty: none yet
    std::array<std::uint8_t, DisplayReportBytes> lastFeature{DisplayReportId};
    std::uint8_t idleRate = 0; // in 4 ms; 0: a report only when something changes
    std::uint8_t protocol = 1; // 1: report protocol, 0: boot protocol
};

enum class HidOutcome {
    NotOurs, // not a request of the pendant's interface: the caller's to handle
    Stall,   // refused, as the HID class asks for what the pendant does not have
    Answer,  // an IN request answered with data (no longer than wLength)
    Accept,  // an OUT request taken (SET_REPORT's data is the caller's to use)
};
struct HidReply {
    HidOutcome outcome = HidOutcome::NotOurs;
    std::vector<std::uint8_t> data;
};

// What to do with a request (setup: its eight bytes): an IN request's
// answer, or whether an OUT request is taken. Changes nothing, so that a
// device can stall an OUT request before its data stage.
HidReply AnswerHidRequest(const std::uint8_t* setup, const HidPendantState& state);
// An OUT request that was taken, with its data stage: what it sets.
void TakeHidRequest(const std::uint8_t* setup, const std::uint8_t* data, std::size_t length,
                    HidPendantState& state);

} // namespace protocol
