// The endpoint survey with any interface descriptor and any list of pipes,
// some of whose queries may fail. Input: 9 bytes of interface descriptor, one
// byte of failures (bit 0: the interface query fails; bits 1-7: the pipe
// query with that index, plus one, fails), then 4 bytes per pipe: type (as a
// signed byte, so unknown and negative types occur), id, packet size.
#include <cstdint>
#include <cstring>

#include "backends/virtual/virtual_pendant.h"
#include "fuzz/fuzz_support.h"
#include "pendant/pendant_device.h"

namespace vp = virtual_pendant;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietStdout();
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
    vp::Reset();
    vp::SetDevice(d);
    const bool interfaceFails = failures & 1;
    const unsigned failedPipe = failures >> 1; // 0: none; else index + 1
    if (interfaceFails)
        vp::FailCall(vp::Call::WinUsb_QueryInterfaceSettings, 1, ERROR_GEN_FAILURE);
    if (failedPipe != 0)
        vp::FailCall(vp::Call::WinUsb_QueryPipe, failedPipe, ERROR_GEN_FAILURE);

    PendantDevice device;
    fuzz::Check(SUCCEEDED(device.Open(nullptr)), "a survey problem failed the open");
    device.Close();
    fuzz::Check(vp::Open() == vp::OpenCounts{}, "something was left open");

    // The pipes the survey must record, by its rules, in index order.
    UCHAR read = 0, write = 0, first = 0, last = 0;
    unsigned queries = 0;
    if (!interfaceFails) {
        for (unsigned i = 0; i < d.iface.bNumEndpoints; ++i) {
            ++queries;
            if (i + 1 == failedPipe || i >= d.pipes.size())
                continue;
            const vp::Pipe& p = d.pipes[i];
            if (p.type == UsbdPipeTypeBulk) {
                (p.id & 0x80 ? read : write) = p.id;
            } else if (p.type == UsbdPipeTypeInterrupt) {
                read = write = p.id;
                (first == 0 ? first : last) = p.id;
            }
        }
    }
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
