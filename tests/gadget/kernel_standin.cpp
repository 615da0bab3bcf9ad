#include "tests/gadget/kernel_standin.h"

#include <gtest/gtest.h>
#include <linux/usb/functionfs.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "gadget/log.h"
#include "support/capture.h"

namespace standin {

namespace {

enum class Way { None, In, Out };

// FunctionFS's ep0 for the function's end of the host's pair.
struct Ep0 {
    std::mutex m;
    std::condition_variable moved;
    int fd = -1;
    int hostFd = -1;
    Way pending = Way::None; // a setup read, its data stage not moved yet
    // FunctionFS polls ep0 readable while a setup is pending: a record the
    // host's end holds in the function's way meanwhile, taken away with it.
    bool marker = false;
    std::vector<std::uint8_t> out; // the host's data stage for an OUT request
    DataStage stage;
    bool done = false;
    unsigned long setupsRead = 0; // by the function
    // A setup left pending when the next came: FunctionFS cancels it, and
    // the function's next read or write of ep0 fails once with EIDRM.
    bool cancelled = false;
    unsigned cancels = 0;
} ep0;

std::mutex logMutex;
std::vector<std::string> logLines;

std::string configfsRoot; // "" while no stand-in lives
bool noFunctionFs = false;

bool InConfigfs(const std::string& path) {
    return !configfsRoot.empty() && path.starts_with(configfsRoot + "/");
}

std::string Parent(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

// The groups configfs makes with a directory.
std::vector<std::string> DefaultGroups(const std::string& path) {
    if (!InConfigfs(path))
        return {};
    if (Parent(path) == configfsRoot + "/usb_gadget")
        return {"strings", "configs", "functions"};
    if (Parent(path).ends_with("/configs"))
        return {"strings"};
    return {};
}

// The pending setup's data stage, when fd is the function's ep0 and one is
// pending: moved in the direction of the function's call (way) or stalled
// (EL2HLT). After a cancelled setup, the call fails with EIDRM instead.
void TakeMarker() {
    std::uint8_t b;
    if (ep0.marker && recv(ep0.fd, &b, sizeof b, MSG_DONTWAIT) == 1)
        ep0.marker = false;
}

bool MoveDataStage(int fd, Way way, void* to, const void* from, std::size_t n, ssize_t& result) {
    std::lock_guard<std::mutex> lock(ep0.m);
    if (fd == ep0.fd && ep0.cancelled) {
        TakeMarker();
        ep0.cancelled = false;
        errno = EIDRM;
        result = -1;
        return true;
    }
    if (fd != ep0.fd || ep0.pending == Way::None)
        return false;
    const Way wanted = ep0.pending;
    ep0.pending = Way::None;
    TakeMarker();
    if (way != wanted) {
        ep0.stage = {DataStage::Kind::Stalled, {}};
        errno = EL2HLT;
        result = -1;
    } else if (way == Way::Out) {
        const std::size_t k = std::min(n, ep0.out.size());
        std::copy_n(ep0.out.begin(), k, static_cast<std::uint8_t*>(to));
        ep0.stage = {DataStage::Kind::Taken, {ep0.out.begin(), ep0.out.begin() + k}};
        result = static_cast<ssize_t>(k);
    } else {
        const auto* bytes = static_cast<const std::uint8_t*>(from);
        ep0.stage = {DataStage::Kind::Answered, {bytes, bytes + n}};
        result = static_cast<ssize_t>(n);
    }
    ep0.done = true;
    ep0.moved.notify_all();
    return true;
}

// A setup the function read from its ep0 opens the data stage.
void SawEvent(int fd, const void* buffer, ssize_t n) {
    usb_functionfs_event e;
    if (n != static_cast<ssize_t>(sizeof e))
        return;
    std::memcpy(&e, buffer, sizeof e);
    std::lock_guard<std::mutex> lock(ep0.m);
    if (fd == ep0.fd && e.type == FUNCTIONFS_SETUP) {
        ep0.pending = (e.u.setup.bRequestType & USB_DIR_IN) != 0 ? Way::In : Way::Out;
        const std::uint8_t marker = 0;
        ep0.marker = send(ep0.hostFd, &marker, sizeof marker, 0) == 1;
        ++ep0.setupsRead;
        ep0.moved.notify_all();
    }
}

bool NoFunctionFs(const std::string& path) {
    return noFunctionFs && InConfigfs(path) && Parent(path).ends_with("/functions");
}

} // namespace
} // namespace standin

extern "C" {

ssize_t __real_read(int fd, void* buffer, size_t n);
ssize_t __real_write(int fd, const void* buffer, size_t n);
int __real_mkdir(const char* path, mode_t mode);
int __real_rmdir(const char* path);

ssize_t __wrap_read(int fd, void* buffer, size_t n) {
    ssize_t r = 0;
    if (standin::MoveDataStage(fd, standin::Way::Out, buffer, nullptr, n, r))
        return r;
    r = __real_read(fd, buffer, n);
    standin::SawEvent(fd, buffer, r);
    return r;
}

// A build with _FORTIFY_SOURCE checks some reads through this.
ssize_t __wrap___read_chk(int fd, void* buffer, size_t n, size_t) {
    return __wrap_read(fd, buffer, n);
}

ssize_t __wrap_write(int fd, const void* buffer, size_t n) {
    ssize_t r = 0;
    if (standin::MoveDataStage(fd, standin::Way::In, nullptr, buffer, n, r))
        return r;
    return __real_write(fd, buffer, n);
}

int __wrap_mkdir(const char* path, mode_t mode) {
    if (standin::NoFunctionFs(path)) {
        errno = ENOENT;
        return -1;
    }
    if (__real_mkdir(path, mode) != 0)
        return -1;
    for (const std::string& group : standin::DefaultGroups(path))
        __real_mkdir((std::string(path) + "/" + group).c_str(), mode);
    return 0;
}

int __wrap_rmdir(const char* path) {
    namespace fs = std::filesystem;
    const std::vector<std::string> groups = standin::DefaultGroups(path);
    if (standin::InConfigfs(path)) {
        std::error_code e;
        for (const fs::directory_entry& entry : fs::directory_iterator(path, e)) {
            const std::string name = entry.path().filename();
            if (entry.is_regular_file())
                fs::remove(entry.path(), e);
            else if (std::find(groups.begin(), groups.end(), name) != groups.end())
                __wrap_rmdir(entry.path().c_str());
        }
    }
    return __real_rmdir(path);
}

} // extern "C"

namespace standin {

Host::Host() {
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ep0_), 0);
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, in_), 0);
    events_[1] = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    events_[0] = dup(events_[1]);
    EXPECT_GE(events_[0], 0);
    std::lock_guard<std::mutex> lock(ep0.m);
    ep0.fd = ep0_[1];
    ep0.hostFd = ep0_[0];
    ep0.marker = false;
    ep0.pending = Way::None;
    ep0.cancelled = false;
    ep0.cancels = 0;
}

// The function's ends are the function's to close.
Host::~Host() {
    {
        std::lock_guard<std::mutex> lock(ep0.m);
        ep0.fd = -1;
    }
    close(ep0_[0]);
    close(in_[0]);
    close(events_[0]);
}

// Counted before it can be read, as FunctionFS counts an event under the
// lock its readers take.
void Host::Put(const usb_functionfs_event& e) {
    const std::uint64_t one = 1;
    EXPECT_EQ(write(events_[0], &one, sizeof one), static_cast<ssize_t>(sizeof one));
    EXPECT_EQ(write(ep0_[0], &e, sizeof e), static_cast<ssize_t>(sizeof e));
}

void Host::Event(std::uint8_t type) {
    usb_functionfs_event e{};
    e.type = type;
    Put(e);
}

void Host::Hang(const std::array<std::uint8_t, 8>& setup) {
    unsigned long read;
    {
        std::lock_guard<std::mutex> lock(ep0.m);
        ep0.stage = {};
        ep0.done = false;
        read = ep0.setupsRead;
    }
    usb_functionfs_event e{};
    std::memcpy(&e.u.setup, setup.data(), setup.size());
    e.type = FUNCTIONFS_SETUP;
    Put(e);
    std::unique_lock<std::mutex> lock(ep0.m);
    // A guard against a function that never reads it.
    if (!ep0.moved.wait_for(lock, std::chrono::seconds(10),
                            [read] { return ep0.setupsRead > read; }))
        ADD_FAILURE() << "the function did not read " << Hex(setup);
}

unsigned Host::Cancelled() const {
    std::lock_guard<std::mutex> lock(ep0.m);
    return ep0.cancels;
}

DataStage Host::Control(const std::array<std::uint8_t, 8>& setup,
                        const std::vector<std::uint8_t>& data) {
    {
        std::lock_guard<std::mutex> lock(ep0.m);
        if (ep0.pending != Way::None) {
            ep0.pending = Way::None;
            ep0.cancelled = true;
            ++ep0.cancels;
        }
        ep0.out = data;
        ep0.stage = {};
        ep0.done = false;
    }
    usb_functionfs_event e{};
    std::memcpy(&e.u.setup, setup.data(), setup.size());
    e.type = FUNCTIONFS_SETUP;
    Put(e);
    std::unique_lock<std::mutex> lock(ep0.m);
    // A guard against a function that leaves the request hanging.
    if (!ep0.moved.wait_for(lock, std::chrono::seconds(10), [] { return ep0.done; }))
        ADD_FAILURE() << "the function neither answered, took nor stalled " << Hex(setup);
    return ep0.stage;
}

void Host::SendFrame(const protocol::FrameArray& frame) {
    for (std::size_t at = 0; at < frame.size(); at += DisplayReportBytes) {
        const std::vector<std::uint8_t> report(frame.begin() + at,
                                               frame.begin() + at + DisplayReportBytes);
        EXPECT_EQ(Control(DisplaySetupBytes, report).kind, DataStage::Kind::Taken);
    }
}

std::vector<std::vector<std::uint8_t>> Host::ReadIn(std::size_t n) {
    std::vector<std::vector<std::uint8_t>> transfers;
    for (std::size_t i = 0; i < n; ++i) {
        pollfd p = {in_[0], POLLIN, 0};
        std::uint8_t transfer[256];
        ssize_t got = -1;
        // The poll is a guard against a function that sends nothing.
        if (poll(&p, 1, 10000) != 1 || (got = read(in_[0], transfer, sizeof transfer)) < 0) {
            ADD_FAILURE() << "the IN endpoint sent " << i << " of " << n << " transfers";
            break;
        }
        transfers.emplace_back(transfer, transfer + got);
    }
    return transfers;
}

std::string Shown(const std::vector<std::vector<std::uint8_t>>& transfers) {
    std::string shown;
    for (const auto& t : transfers)
        shown += (shown.empty() ? "" : " | ") + (t.empty() ? std::string("zlp") : Hex(t));
    return shown;
}

LogLines::LogLines() {
    gadget::SetLogFile(nullptr);
    gadget::SetLogListener([](const std::string& line) {
        std::lock_guard<std::mutex> lock(logMutex);
        logLines.push_back(line);
    });
}

LogLines::~LogLines() {
    gadget::SetLogListener(nullptr);
    gadget::SetLogFile(stdout);
    std::lock_guard<std::mutex> lock(logMutex);
    logLines.clear();
}

std::string LogLines::Find(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(logMutex);
    for (const std::string& line : logLines)
        if (line.starts_with(prefix))
            return line;
    return "";
}

Served::Served(const gadget::Layout& layout) {
    function.Attach(host.FunctionEp0(), host.FunctionIn(), layout, host.FunctionEvents());
    function.Start();
}

Served::StopTakenBack::~StopTakenBack() {
    gadget::ClearStop();
}

Configfs::Configfs(bool noFfs) {
    std::string name = std::filesystem::temp_directory_path() / "gadget-configfs-XXXXXX";
    EXPECT_NE(mkdtemp(name.data()), nullptr);
    root_ = name;
    EXPECT_EQ(__real_mkdir(Gadgets().c_str(), 0755), 0);
    configfsRoot = root_;
    noFunctionFs = noFfs;
}

Configfs::~Configfs() {
    configfsRoot.clear();
    std::error_code e;
    std::filesystem::remove_all(root_, e);
}

std::string Configfs::Read(const std::string& path) const {
    std::ifstream in(path);
    if (!in)
        return "(none)";
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::vector<std::string> Configfs::Tree() const {
    std::vector<std::string> paths;
    std::error_code e;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root_, e))
        paths.push_back(std::filesystem::relative(entry.path(), root_));
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace standin
