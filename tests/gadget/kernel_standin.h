// The kernel's side of pendant-gadget, played in the test process, so that
// the function, the script steps and the configfs code run as on a gadget.
//
// FunctionFS: ep0 and the IN endpoint are SOCK_SEQPACKET pairs, one record
// per event or transfer (an empty one is a zero-length packet). A setup's
// data stage is no record: FunctionFS moves it on the function's next read
// or write of ep0, and a move against the request's direction (a read for
// an IN request, a write for an OUT one) stalls it and fails with EL2HLT.
// While a setup is pending ep0 polls readable, as FunctionFS's does. A
// setup still pending when the next comes (the host gave up on it) is
// cancelled: the function's next read or write of ep0 fails with EIDRM. An
// eventfd is signalled on each event, as FunctionFS signals a function's.
// gadget_tests is linked with read and write wrapped (--wrap), and the
// wrappers play that for the function's end of ep0; other files pass.
//
// configfs: a temporary directory, with mkdir and rmdir wrapped to do what
// configfs does besides: a gadget comes with its strings, configs and
// functions groups, a configuration with its strings, and a directory goes
// with its attributes and those groups.
#pragma once

#include <linux/usb/functionfs.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "gadget/function.h"

namespace standin {

// What the function did with the last setup's data stage.
struct DataStage {
    enum class Kind { None, Answered, Taken, Stalled } kind = Kind::None;
    std::vector<std::uint8_t> bytes; // what it answered, or what it took
};
inline void PrintTo(DataStage::Kind kind, std::ostream* os) {
    static const char* const names[] = {"nothing done", "answered", "taken", "stalled"};
    *os << names[static_cast<int>(kind)];
}

// The host's ends of the function's ep0 and IN endpoint.
class Host {
  public:
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    int FunctionEp0() const { return ep0_[1]; }
    int FunctionIn() const { return in_[1]; }
    // The eventfd signalled on each event, as FunctionFS signals the one a
    // function registers.
    int FunctionEvents() const { return events_[1]; }

    void Event(std::uint8_t type); // FUNCTIONFS_BIND, ...
    // Sends a setup (for an OUT request with `data` as its data stage) and
    // waits until the function answered, took or stalled it.
    DataStage Control(const std::array<std::uint8_t, 8>& setup,
                      const std::vector<std::uint8_t>& data = {});
    // Sends a setup and waits only until the function has read it, for a
    // request it is to leave unanswered.
    void Hang(const std::array<std::uint8_t, 8>& setup);
    // Setups cancelled so far: still pending when Control sent the next.
    unsigned Cancelled() const;
    // The display frame as the tool sends it: six SET_REPORTs.
    void SendFrame(const protocol::FrameArray& frame);
    // The next n transfers on the IN endpoint (empty: a zero-length packet).
    std::vector<std::vector<std::uint8_t>> ReadIn(std::size_t n);

  private:
    void Put(const usb_functionfs_event& e);
    int ep0_[2] = {-1, -1}; // the host's end, the function's
    int in_[2] = {-1, -1};
    int events_[2] = {-1, -1};
};

// Transfers in hex, " | " between them, "zlp" for a zero-length packet.
std::string Shown(const std::vector<std::vector<std::uint8_t>>& transfers);

// Every log line the gadget writes while it lives, kept (and printed
// nowhere).
class LogLines {
  public:
    LogLines();
    ~LogLines();
    // The first line that starts with prefix, or "".
    std::string Find(const std::string& prefix) const;
};

// A function served on a host's stand-in files, stopped at the end.
struct Served {
    explicit Served(const gadget::Layout& layout = {});
    LogLines log;
    Host host;
    // Its stop is program-wide: taken back once the function (destroyed
    // first) has ended, for the next test.
    struct StopTakenBack {
        ~StopTakenBack();
    } stopTakenBack;
    gadget::PendantFunction function;
};

// A temporary configfs holding usb_gadget, removed at the end.
// noFunctionFs: functions/ffs.* cannot be made, as without usb_f_fs.
class Configfs {
  public:
    explicit Configfs(bool noFunctionFs = false);
    ~Configfs();
    const std::string& Root() const { return root_; }
    std::string Gadgets() const { return root_ + "/usb_gadget"; }
    // A file's contents; "(none)" if it cannot be read.
    std::string Read(const std::string& path) const;
    // Every path under the root, from it, sorted.
    std::vector<std::string> Tree() const;

  private:
    std::string root_;
};

} // namespace standin
