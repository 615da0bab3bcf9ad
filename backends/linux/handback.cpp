// Giving the pendant back to its kernel driver when the program is ended by
// a signal. The kernel does not reattach a driver that usbfs detached when
// the process goes, so a pendant-test ended with Ctrl+C (or by kill, or by
// closing its terminal) would leave the pendant without its HID driver until
// it is replugged. While an interface is taken, SIGINT, SIGTERM and SIGHUP
// only note that they came (all a handler may safely do); the backend's
// waits see the note, give every interface back from the main thread, and
// then end the program as the signal would have.
#include <csignal>
#include <cstdlib>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "backends/linux/handles.h"

namespace {

constexpr int Handled[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t HandledCount = sizeof Handled / sizeof Handled[0];

volatile std::sig_atomic_t noted = 0;
struct sigaction before[HandledCount];
bool installed[HandledCount] = {};
std::vector<linux_backend::UsbInterface*> taken;

extern "C" void Note(int signal) {
    noted = signal;
}

void Install() {
    for (std::size_t i = 0; i < HandledCount; ++i) {
        if (sigaction(Handled[i], nullptr, &before[i]) != 0 || before[i].sa_handler == SIG_IGN)
            continue; // ignored (nohup, say): it ends nothing, so leave it so
        struct sigaction note = {};
        note.sa_handler = Note;
        sigemptyset(&note.sa_mask);
        // No SA_RESTART: a wait that the signal interrupts returns at once.
        note.sa_flags = 0;
        installed[i] = sigaction(Handled[i], &note, nullptr) == 0;
    }
}

void Restore() {
    for (std::size_t i = 0; i < HandledCount; ++i)
        if (installed[i]) {
            sigaction(Handled[i], &before[i], nullptr);
            installed[i] = false;
        }
}

} // namespace

namespace linux_backend {

void TrackTaken(UsbInterface& usb) {
    if (taken.empty())
        Install();
    taken.push_back(&usb);
}

void TrackReleased(UsbInterface& usb) {
    taken.erase(std::remove(taken.begin(), taken.end(), &usb), taken.end());
    if (!taken.empty())
        return;
    Restore();
    // A signal that came between the last wait and now still ends us.
    if (noted != 0) {
        const int signal = noted;
        noted = 0;
        raise(signal);
    }
}

void HonourSignal() {
    if (noted == 0)
        return;
    const int signal = noted;
    noted = 0; // giving back waits too; those waits must not come here again
    for (UsbInterface* usb : taken) {
        CancelReads(*usb);
        GiveBack(*usb);
    }
    taken.clear();
    Restore();
    sigset_t just;
    sigemptyset(&just);
    sigaddset(&just, signal);
    sigprocmask(SIG_UNBLOCK, &just, nullptr);
    raise(signal);
    // The disposition before ours was a handler that returned: there is no
    // device left to go on with.
    _exit(128 + signal);
}

} // namespace linux_backend
