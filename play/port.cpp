#include "play/port.h"

namespace play {

namespace {

std::string Stopped(const PendantPort& port) {
    return port.stopRequested && port.stopRequested() ? "stopped" : "";
}

std::string Cannot(const Step& step) {
    return "this pendant cannot do line " + std::to_string(step.line) + "'s step";
}

} // namespace

bool IsPortStep(Op op) {
    switch (op) {
    case Op::Report:
    case Op::Jog:
    case Op::Unplug:
    case Op::Replug:
    case Op::Zlp:
    case Op::WaitRead:
    case Op::WaitFrames:
    case Op::Stall:
    case Op::Unstall:
        return true;
    default:
        return false;
    }
}

std::string RunPortStep(const Step& step, const PendantPort& port) {
    switch (step.op) {
    case Op::Report: {
        const std::string wrong = ReportSizeProblem(step, port.reportSize ? port.reportSize() : 0);
        if (!wrong.empty())
            return wrong;
        port.queue(step.bytes);
        return "";
    }
    case Op::Jog: {
        std::vector<std::uint8_t> report = step.bytes;
        if (const std::size_t size = port.reportSize ? port.reportSize() : 0; size != 0)
            report.resize(size, 0);
        port.queue(std::move(report));
        return "";
    }
    case Op::Zlp:
        if (!port.zeroLengthPacket)
            return Cannot(step);
        port.zeroLengthPacket(step.on);
        return "";
    case Op::Unplug:
        return port.unplug();
    case Op::Replug:
        return port.replug();
    case Op::WaitRead: {
        if (!port.waitRead)
            return Cannot(step);
        if (port.waitRead(step.seconds))
            return "";
        const std::string stopped = Stopped(port);
        if (!stopped.empty())
            return stopped;
        return "the host did not read the queued reports within " + std::to_string(step.seconds) +
               " s (" + std::to_string(port.pending()) + " still to send)";
    }
    case Op::WaitFrames: {
        if (!port.waitFrames)
            return Cannot(step);
        if (port.waitFrames(step.count, step.seconds))
            return "";
        const std::string stopped = Stopped(port);
        if (!stopped.empty())
            return stopped;
        return "the host sent " + std::to_string(port.last().frames) + " of " +
               std::to_string(step.count) + " frames within " + std::to_string(step.seconds) + " s";
    }
    case Op::Stall:
    case Op::Unstall:
        if (!port.halt)
            return Cannot(step);
        port.halt(step.op == Op::Stall);
        return "";
    default:
        return Cannot(step);
    }
}

} // namespace play
