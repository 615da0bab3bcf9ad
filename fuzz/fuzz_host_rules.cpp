// The judges of what hosts require, with any bytes a device might give: as
// a report descriptor, a configuration and a device descriptor. A report
// descriptor called well-formed is one the layout reader also reads to its
// end; a finding names a byte inside the descriptor; a configuration's facts
// hold together; no finding outgrows its line.
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "protocol/host_rules.h"
#include "protocol/report_descriptor.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string fault = protocol::ReportDescriptorFault(data, size);
    const protocol::ReportLayout layout = protocol::DescribeReports(data, size);
    fuzz::Check(!fault.empty() || layout.ok, "well-formed, yet the layout reader stops short");
    fuzz::Check(fault.size() < 256, "a finding longer than its line");
    if (fault.rfind("at byte ", 0) == 0) {
        const unsigned long at = std::strtoul(fault.c_str() + 8, nullptr, 10);
        fuzz::Check(at < size, "a finding names a byte past the descriptor");
    } else if (!fault.empty()) {
        fuzz::Check(fault.rfind("at the end: ", 0) == 0 ||
                        (size == 0 && fault.find("empty") != std::string::npos),
                    "a finding that says neither where nor the end");
    }
    (void)protocol::PendantReportsFault(layout);

    const std::uint8_t iface = size > 0 ? data[0] & 3 : 0;
    const protocol::InterfaceFacts facts = protocol::ReadInterfaceFacts(data, size, iface, 0x81);
    fuzz::Check(facts.hidDescriptor || !facts.reportDescriptorListed,
                "a report descriptor listed without a HID descriptor");
    fuzz::Check(facts.interfaceFound || !(facts.hidDescriptor || facts.inEndpointFound),
                "facts of an interface that was not found");
    for (const auto speed : {protocol::UsbSpeed::Full, protocol::UsbSpeed::High}) {
        fuzz::Check(protocol::InterruptInFault(facts, speed).size() < 256, "a long finding");
        fuzz::Check(protocol::DeviceDescriptorFault(data, size, speed).size() < 256,
                    "a long finding");
    }
    return 0;
}
