// The endpoint survey with any interface descriptor and any list of pipes,
// some of whose queries may fail. Input: 9 bytes of interface descriptor, one
// byte of failures (bit 0: the interface query fails; bits 1-7: the pipe
// query with that index, plus one, fails), then 4 bytes per pipe: type (as a
// signed byte, so unknown and negative types occur), id, packet size. The
// pipes recorded, the read length and the printed report are each checked
// against the survey's rules, written out here a second way.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "backends/virtual/virtual_pendant.h"
#include "fuzz/fuzz_support.h"
#include "pendant/pendant_device.h"

namespace vp = virtual_pendant;

namespace {

[[gnu::format(printf, 1, 2)]] std::string Format(const char* format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::CaptureStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size < 10)
        return 0;
    vp::Device d;
    std::memcpy(&d.iface, data, sizeof d.iface);
    const unsigned failures = data[9];
    d.pipes.clear();
    for (std::size_t at = 10; at + 4 <= size; at += 4) {
        const auto type = static_cast<USBD_PIPE_TYPE>(static_cast<std::int8_t>(data[at]));
        const auto packet = static_cast<USHORT>(data[at + 2] | (data[at + 3] << 8));
        d.pipes.push_back(vp::Pipe{type, data[at + 1], packet});
    }
    // The survey's own rule for the read length: no report descriptor.
    d.reportDescriptor.clear();
    vp::Reset();
    vp::SetDevice(d);
    const bool interfaceFails = failures & 1;
    const unsigned failedPipe = failures >> 1; // 0: none; else index + 1
    if (interfaceFails)
        vp::FailCall(vp::Call::WinUsb_QueryInterfaceSettings, 1, ERROR_GEN_FAILURE);
    if (failedPipe != 0)
        vp::FailCall(vp::Call::WinUsb_QueryPipe, failedPipe, ERROR_GEN_FAILURE);

    PendantDevice device;
    fuzz::ForgetStdout();
    fuzz::Check(SUCCEEDED(device.Open(nullptr)), "a survey problem failed the open");
    const std::string printed = fuzz::CapturedStdout();
    device.Close();
    fuzz::Check(vp::Open() == vp::OpenCounts{}, "something was left open");

    // The pipes the survey must record, by its rules, in index order.
    UCHAR read = 0, write = 0, first = 0, last = 0;
    USHORT readPacket = 0;
    unsigned queries = 0;
    std::string report = "\nCreating and sending device query...";
    if (interfaceFails) {
        report += " Error.\n    USB Interface query failed.\n";
    } else {
        const USB_INTERFACE_DESCRIPTOR& f = d.iface;
        report += Format("\n#Descriptor type   : %d", f.bDescriptorType) +
                  Format("\n#Interface Class   : %d", f.bInterfaceClass) +
                  Format("\n#Interface Number  : %d", f.bInterfaceNumber) +
                  Format("\n#Interface Protocol: %d", f.bInterfaceProtocol) +
                  Format("\n#Interface SubClass: %d", f.bInterfaceSubClass) +
                  Format("\n#iInterface        : %d", f.iInterface) +
                  Format("\n#Endpoints Found   : %d", f.bNumEndpoints) +
                  "\nFinished device query.\n\nCreating and sending endpoint queries...";
        for (unsigned i = 0; i < d.iface.bNumEndpoints; ++i) {
            ++queries;
            if (i + 1 == failedPipe || i >= d.pipes.size())
                continue;
            const vp::Pipe& p = d.pipes[i];
            const int at = static_cast<int>(i);
            const std::string head = Format("\n    Endpoint %d:", at);
            if (p.type == UsbdPipeTypeControl) {
                report += head + Format("\n      Type: Control\n      PipeID: %d", p.id);
            } else if (p.type == UsbdPipeTypeIsochronous) {
                report += head + Format("\n      Type: Isochronous\n      PipeID: %d", p.id);
            } else if (p.type == UsbdPipeTypeBulk) {
                const bool in = p.id & 0x80;
                report += head + (in ? "\n      Type: Bulk-In" : "\n      Type: Bulk-Out") +
                          "\n      PipeID: " + std::string(1, static_cast<char>(p.id));
                if (in) {
                    read = p.id;
                    readPacket = p.maxPacket;
                } else {
                    write = p.id;
                }
            } else if (p.type == UsbdPipeTypeInterrupt) {
                report += head + Format("\n      Type: Interrupt\n      PipeID: %d", p.id);
                read = write = p.id;
                readPacket = p.maxPacket;
                report += first == 0 ? "\n      PipeInterruptFirst set to this pipe."
                                     : "\n      PipeInterruptLast set to this pipe.";
                (first == 0 ? first : last) = p.id;
            }
            report += Format("\n      MaxPacket: %d", p.maxPacket);
        }
        report += "\nEndpoint query complete.";
    }
    fuzz::Check(printed == report, "the printed report is not the survey's");
    // One packet when it holds the six bytes looked at, else the buffer.
    const ULONG readLength = readPacket >= 6 && readPacket < 64 ? readPacket : 64;
    fuzz::Check(device.ReadLength == readLength, "wrong ReadLength");
    fuzz::Check(vp::CountOf(vp::Call::WinUsb_QueryPipe) == queries, "wrong number of pipe queries");
    fuzz::Check(device.ReadPipeId == read, "wrong ReadPipeId");
    fuzz::Check(device.WritePipeId == write, "wrong WritePipeId");
    fuzz::Check(device.PipeInterruptFirst == first, "wrong PipeInterruptFirst");
    fuzz::Check(device.PipeInterruptLast == last, "wrong PipeInterruptLast");
    const auto policy = vp::CallsOf(vp::Call::WinUsb_SetPipePolicy);
    fuzz::Check(policy.size() == 1 && policy[0].args[1] == read,
                "the time-out was not set once, on the read pipe");
    return 0;
}
