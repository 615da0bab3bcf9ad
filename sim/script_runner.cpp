#include "sim/script_runner.h"

#include <cstring>
#include <sstream>

#include "app/entry.h"
#include "pendant/pendant_device.h"
#include "protocol/report_descriptor.h"
#include "sim/decode.h"
#include "sim/virtual_port.h"

namespace sim {

namespace vp = virtual_pendant;

// The script's own numbers, held to the platform's.
static_assert(play::DefaultFailError == ERROR_GEN_FAILURE);
static_assert(play::DeviceDescriptorBytes == sizeof(USB_DEVICE_DESCRIPTOR));
static_assert(play::InterfaceDescriptorBytes == sizeof(USB_INTERFACE_DESCRIPTOR));

namespace {

void FailCall(const play::Step& step) {
    const PlatformCall call = ToPlatformCall(step.call);
    vp::FailCall(call, vp::CountOf(call) + step.nth, step.error, step.sticky);
}

} // namespace

void ApplySetup(const play::Step& step) {
    vp::Device device = vp::CurrentDevice();
    switch (step.op) {
    case play::Op::Device:
        device.present = step.present;
        break;
    case play::Op::Path:
        device.path = step.text;
        break;
    case play::Op::Descriptor:
        std::memcpy(&device.descriptor, step.bytes.data(), sizeof device.descriptor);
        break;
    case play::Op::Interface:
        std::memcpy(&device.iface, step.bytes.data(), sizeof device.iface);
        break;
    case play::Op::Pipes:
        device.pipes = ToPipes(step.pipes);
        device.iface.bNumEndpoints = static_cast<UCHAR>(step.pipes.size());
        break;
    case play::Op::ReportSize:
        device.reportDescriptor = protocol::PendantReportDescriptor(step.count);
        break;
    case play::Op::ReportDescriptor:
        device.reportDescriptor = step.bytes;
        break;
    case play::Op::HidLength:
        device.hidReportLength = static_cast<int>(step.count);
        break;
    case play::Op::Speed:
        device.speed = step.speed;
        break;
    case play::Op::Unanswered:
        device.unansweredRequests = step.bytes;
        break;
    default:
        return;
    }
    vp::SetDevice(device);
}

std::string ApplyStep(const play::Step& step, PendantDevice& device,
                      const play::PendantPort& port) {
    // The virtual pendant does all the port steps pendant-sim takes.
    if (play::IsPortStep(step.op))
        return play::RunPortStep(step, port);
    switch (step.op) {
    case play::Op::Fail:
        // Counted from here on, so "fail X" means the next call of X.
        FailCall(step);
        break;
    case play::Op::Set1:
        device.SetCoordinate(1, step.index, step.value);
        break;
    case play::Op::Set2:
        device.SetCoordinate(2, step.index, step.value);
        break;
    case play::Op::Word:
        device.SetDisplayWord(step.index, step.word);
        break;
    case play::Op::Display:
        device.SetDisplay(step.display);
        break;
    case play::Op::Timeout:
        for (unsigned n = 0; n < step.count; ++n)
            vp::QueueTimeout();
        break;
    default:
        break;
    }
    return "";
}

std::string DescribeFrame(unsigned number, const vp::ReceivedFrame& frame) {
    const std::string tag = "[frame " + std::to_string(number) + "] ";
    std::string text =
        tag + FormatFrame(frame.bytes.data()) + "\n" + tag + protocol::FormatDisplay(frame.display);
    if (!frame.problem.empty())
        text += "\n" + tag + "malformed: " + frame.problem;
    return text;
}

std::size_t PrepareDevice(const play::Script& script) {
    vp::Reset();
    // A script of a million turns must not keep a million calls.
    vp::KeepHistory(false);
    std::size_t i = 0;
    for (; i < script.steps.size(); ++i) {
        const play::Step& step = script.steps[i];
        if (IsSetup(step.op))
            ApplySetup(step);
        else if (step.op == play::Op::Fail)
            FailCall(step);
        else
            break;
    }
    return i;
}

void PlayStep(const play::Step& step, PendantDevice& device, const play::PendantPort& port,
              Interleaver& out) {
    if (step.op == play::Op::Unplug)
        out.Line("[sim] line " + std::to_string(step.line) + ": unplugged");
    if (step.op == play::Op::Replug)
        out.Line("[sim] line " + std::to_string(step.line) + ": replugged");
    // A script's reports were held to the report size when it was read.
    const std::string problem = ApplyStep(step, device, port);
    if (!problem.empty())
        out.Line("[sim] line " + std::to_string(step.line) + ": " + problem);
}

namespace {

// Walks the steps from the tool's turn hook: runs the steps up to the next
// "turns", then lets the tool turn that many times.
class Player {
  public:
    Player(const play::Script& script, Interleaver& out) : script_(script), out_(out) {}

    bool Turn(PendantDevice& device) {
        out_.Pass();
        while (turnsLeft_ == 0 && next_ < script_.steps.size()) {
            const play::Step& step = script_.steps[next_++];
            if (step.op == play::Op::Turns)
                turnsLeft_ = step.count;
            else if (!IsSetup(step.op))
                Apply(step, device);
        }
        if (turnsLeft_ == 0) {
            // The end: let the tool take in what is still queued and show
            // the last change, then stop. Bounded, since an unplugged
            // pendant never takes its queue.
            if (!ending_) {
                ending_ = true;
                endTurnsLeft_ = vp::PendingInput() + 1;
            }
            if (endTurnsLeft_ == 0 || (vp::PendingInput() == 0 && !device.DisplayDirty))
                return false;
            --endTurnsLeft_;
        } else {
            --turnsLeft_;
        }
        ++turns_;
        return true;
    }

    unsigned Turns() const { return turns_; }
    std::size_t StepsNotRun() const {
        std::size_t n = 0;
        for (std::size_t i = next_; i < script_.steps.size(); ++i)
            n += IsSetup(script_.steps[i].op) ? 0 : 1;
        return n;
    }

  private:
    void Apply(const play::Step& step, PendantDevice& device) {
        PlayStep(step, device, port_, out_);
    }

    const play::PendantPort port_ = VirtualPendantPort();
    const play::Script& script_;
    Interleaver& out_;
    std::size_t next_ = 0;
    unsigned turnsLeft_ = 0;
    bool ending_ = false;
    std::size_t endTurnsLeft_ = 0;
    unsigned turns_ = 0;
};

} // namespace

int RunScript(const play::Script& script, Interleaver& out) {
    // Everything before the first running step happens before the tool
    // opens the pendant.
    const std::size_t i = PrepareDevice(script);
    play::Script rest;
    rest.steps.assign(script.steps.begin() + static_cast<std::ptrdiff_t>(i), script.steps.end());

    unsigned frames = 0;
    vp::OnFrame([&](const vp::ReceivedFrame& frame) { out.Line(DescribeFrame(++frames, frame)); });

    Player player(rest, out);
    // The closing read after a failed open sees the end of input at once.
    std::istringstream noInput;
    const int status =
        RunTool(noInput, [&player](PendantDevice& device) { return player.Turn(device); });
    vp::OnFrame({});

    std::ostringstream summary;
    summary << "[sim] tool returned " << status << " after " << player.Turns() << " turn"
            << (player.Turns() == 1 ? "" : "s") << ", " << frames << " frame"
            << (frames == 1 ? "" : "s");
    const std::size_t notRun = player.StepsNotRun();
    if (notRun != 0)
        summary << "; " << notRun << " step" << (notRun == 1 ? "" : "s")
                << " not run (the tool did not open the pendant)";
    out.Line(summary.str());
    return status;
}

} // namespace sim
