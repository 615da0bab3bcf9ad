// A HID application as Linux has them: Debian's libhidapi (its hidraw
// backend) against the pendant, with no code of ours between them.
//   pendant-hidapi VID:PID frame HEX...   sends a display frame (48 bytes:
//                                         six reports of id 6) as six
//                                         feature reports
//   pendant-hidapi VID:PID read N SECONDS reads N input reports, each
//                                         printed as "REPORT hh hh ..."
// Prints "SENT <n>" or the reports, then "DONE"; a failure says which call
// failed and hidapi's reason, with exit status 1. Usage errors: status 2.
#include <hidapi/hidapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "protocol/wire.h"

namespace {

int Fail(hid_device* device, const char* what) {
    const wchar_t* why = hid_error(device);
    std::printf("FAILED %s: %ls\n", what, why != nullptr ? why : L"(no reason given)");
    return 1;
}

bool ParseHex(int argc, char** argv, int from, std::vector<unsigned char>& bytes) {
    for (int i = from; i < argc; ++i) {
        for (const char* p = argv[i]; *p != '\0';) {
            if (*p == ' ' || *p == ':') {
                ++p;
                continue;
            }
            char* end = nullptr;
            const char pair[3] = {p[0], p[1], '\0'};
            const unsigned long v = std::strtoul(pair, &end, 16);
            if (p[1] == '\0' || end != pair + 2)
                return false;
            bytes.push_back(static_cast<unsigned char>(v));
            p += 2;
        }
    }
    return true;
}

int SendFrame(hid_device* device, const std::vector<unsigned char>& frame) {
    if (frame.size() != DisplayFrameBytes) {
        std::fprintf(stderr, "pendant-hidapi: a frame is %zu bytes, got %zu\n", DisplayFrameBytes,
                     frame.size());
        return 2;
    }
    for (std::size_t r = 0; r < DisplayReportCount; ++r) {
        const unsigned char* report = frame.data() + r * DisplayReportBytes;
        if (report[0] != DisplayReportId) {
            std::fprintf(stderr, "pendant-hidapi: report %zu of the frame has id %u, not %u\n", r,
                         report[0], DisplayReportId);
            return 2;
        }
        // The report id is the first byte, as hidapi wants it.
        const int sent = hid_send_feature_report(device, report, DisplayReportBytes);
        if (sent != static_cast<int>(DisplayReportBytes))
            return Fail(device, "hid_send_feature_report");
    }
    std::printf("SENT %zu\n", DisplayReportCount);
    return 0;
}

int ReadReports(hid_device* device, long count, long seconds) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until = Clock::now() + std::chrono::seconds(seconds);
    for (long n = 0; n < count;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) {
            std::printf("FAILED hid_read_timeout: %ld of %ld reports within %ld s\n", n, count,
                        seconds);
            return 1;
        }
        unsigned char report[InputReportBytes];
        const int got = hid_read_timeout(device, report, sizeof report, static_cast<int>(left));
        if (got < 0)
            return Fail(device, "hid_read_timeout");
        if (got == 0)
            continue;
        std::printf("REPORT");
        for (int i = 0; i < got; ++i)
            std::printf(" %02x", report[i]);
        std::printf("\n");
        std::fflush(stdout);
        ++n;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    unsigned vid = 0, pid = 0;
    if (argc < 3 || std::sscanf(argv[1], "%x:%x", &vid, &pid) != 2) {
        std::fprintf(stderr, "usage: pendant-hidapi VID:PID frame HEX... | read N SECONDS\n");
        return 2;
    }
    const std::string mode = argv[2];
    std::vector<unsigned char> frame;
    if (mode == "frame" ? !ParseHex(argc, argv, 3, frame) : (mode != "read" || argc != 5)) {
        std::fprintf(stderr, "usage: pendant-hidapi VID:PID frame HEX... | read N SECONDS\n");
        return 2;
    }
    if (hid_init() != 0)
        return Fail(nullptr, "hid_init");
    hid_device* device =
        hid_open(static_cast<unsigned short>(vid), static_cast<unsigned short>(pid), nullptr);
    if (device == nullptr)
        return Fail(nullptr, "hid_open");
    std::printf("OPENED\n");
    std::fflush(stdout);
    const int status = mode == "frame"
                           ? SendFrame(device, frame)
                           : ReadReports(device, std::atol(argv[3]), std::atol(argv[4]));
    hid_close(device);
    hid_exit();
    if (status == 0)
        std::printf("DONE\n");
    return status;
}
