// Judges a HID report descriptor as the check's rules step does
// (protocol::ReportDescriptorFault) and prints PASS or the finding: the
// guest sets it beside the kernel's HID core on the same descriptors.
//   pendant-descriptor-rules [HH...]        the descriptor as hex words (none: empty)
//   pendant-descriptor-rules --file FILE    the descriptor as raw bytes
// Exit status 0 for PASS, 1 for a finding, 2 for bad input.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "protocol/host_rules.h"

namespace {

bool ReadHex(int argc, char** argv, std::vector<std::uint8_t>& d) {
    for (int i = 1; i < argc; ++i) {
        char* end = nullptr;
        const unsigned long b = std::strtoul(argv[i], &end, 16);
        if (std::strlen(argv[i]) != 2 || *end != '\0' || b > 0xFF) {
            std::fprintf(stderr, "pendant-descriptor-rules: \"%s\" is not a hex byte\n", argv[i]);
            return false;
        }
        d.push_back(static_cast<std::uint8_t>(b));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::uint8_t> d;
    if (argc >= 2 && std::strcmp(argv[1], "--file") == 0) {
        std::ifstream in(argc == 3 ? argv[2] : "", std::ios::binary);
        if (argc != 3 || !in) {
            std::fprintf(stderr, "usage: pendant-descriptor-rules [HH...] | --file FILE\n");
            return 2;
        }
        d.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else if (!ReadHex(argc, argv, d)) {
        return 2;
    }
    const std::string finding = protocol::ReportDescriptorFault(d.data(), d.size());
    std::printf("%s\n", finding.empty() ? "PASS" : finding.c_str());
    return finding.empty() ? 0 : 1;
}
