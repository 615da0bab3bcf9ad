// Captures the USB traffic of one bus through the kernel's USB monitor, in
// its binary interface (/dev/usbmonN), into a pcap file of link type 220
// (LINKTYPE_USB_LINUX_MMAPPED: per packet the 64-byte usbmon header in host
// byte order, then the data the monitor captured), as Wireshark reads it.
// A small stand-in for dumpcap in the test guest.
//   usbmon-pcap BUS FILE
// Prints "CAPTURING" once the monitor is open, and on SIGINT or SIGTERM
// "CAPTURED <packets>" when the file is complete; exit status 0.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The kernel's binary usbmon records (Documentation/usb/usbmon.rst).
struct UsbmonPacket {
    std::uint64_t id;
    unsigned char type, xferType, epnum, devnum;
    std::uint16_t busnum;
    char flagSetup, flagData;
    std::int64_t tsSec;
    std::int32_t tsUsec;
    int status;
    unsigned length, lenCap;
    unsigned char setup[8];
    int interval, startFrame;
    unsigned xferFlags, ndesc;
};
static_assert(sizeof(UsbmonPacket) == 64, "the monitor's 64-byte header");

struct MonGetArg {
    UsbmonPacket* hdr;
    void* data;
    std::size_t alloc;
};
constexpr unsigned long MonIocxGetx = _IOW(0x92, 10, MonGetArg);

constexpr std::uint32_t LinktypeUsbLinuxMmapped = 220;

volatile std::sig_atomic_t stop = 0;
extern "C" void Stop(int) {
    stop = 1;
}

bool Put(std::FILE* f, const void* p, std::size_t n) {
    return std::fwrite(p, 1, n, f) == n;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: usbmon-pcap BUS FILE\n");
        return 2;
    }
    const std::string device = std::string("/dev/usbmon") + argv[1];
    const int mon = open(device.c_str(), O_RDONLY | O_CLOEXEC);
    if (mon < 0) {
        std::fprintf(stderr, "usbmon-pcap: cannot open %s: %s\n", device.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "usbmon-pcap: cannot write %s: %s\n", argv[2], std::strerror(errno));
        return 1;
    }
    // No SA_RESTART: the signal ends the ioctl that waits for the next event.
    struct sigaction on = {};
    on.sa_handler = Stop;
    sigemptyset(&on.sa_mask);
    sigaction(SIGINT, &on, nullptr);
    sigaction(SIGTERM, &on, nullptr);

    const std::uint32_t header[6] = {0xa1b2c3d4u, 2 | (4u << 16), 0,
                                     0,           65535 + 64,     LinktypeUsbLinuxMmapped};
    bool ok = Put(out, header, sizeof header);
    std::printf("CAPTURING\n");
    std::fflush(stdout);

    std::vector<unsigned char> data(65536);
    unsigned long packets = 0;
    while (ok && !stop) {
        UsbmonPacket hdr{};
        MonGetArg arg{&hdr, data.data(), data.size()};
        if (ioctl(mon, MonIocxGetx, &arg) != 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "usbmon-pcap: %s: %s\n", device.c_str(), std::strerror(errno));
            ok = false;
            break;
        }
        // A record without data by its nature (flag_data set: an IN
        // transfer's submission, an OUT one's completion) is whole as it is;
        // one whose data the monitor cut short says how long it was.
        const unsigned whole = hdr.flagData == 0 ? hdr.length : hdr.lenCap;
        const std::uint32_t record[4] = {static_cast<std::uint32_t>(hdr.tsSec),
                                         static_cast<std::uint32_t>(hdr.tsUsec),
                                         static_cast<std::uint32_t>(sizeof hdr + hdr.lenCap),
                                         static_cast<std::uint32_t>(sizeof hdr + whole)};
        ok = Put(out, record, sizeof record) && Put(out, &hdr, sizeof hdr) &&
             Put(out, data.data(), hdr.lenCap);
        ++packets;
    }
    if (std::fclose(out) != 0 || !ok) {
        std::fprintf(stderr, "usbmon-pcap: the capture %s is incomplete\n", argv[2]);
        return 1;
    }
    std::printf("CAPTURED %lu\n", packets);
    return 0;
}
