// Giving the pendant back to its kernel driver when the program is ended by
// a signal, and Ctrl+C for the console control handlers. The kernel does
// not reattach a driver that usbfs detached when the process goes, so a
// pendant-test ended with Ctrl+C (or by kill, or by closing its terminal)
// would leave the pendant without its HID driver until it is replugged.
// While an interface is taken, SIGINT, SIGTERM and SIGHUP only note that
// they came (all a handler may safely do); the backend's waits see the
// note, give every interface back from the main thread, and then end the
// program as the signal would have.
//
// SIGINT is Ctrl+C. While a console control handler is added, SIGINT calls
// the handlers first, the latest added first; one that returns TRUE has
// handled it, and nothing else happens: the program goes on and closes the
// pendant itself. Unhandled, SIGINT does what it does without handlers.
#include <csignal>
#include <cstdlib>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "backends/linux/handles.h"

namespace {

constexpr int Handled[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t HandledCount = sizeof Handled / sizeof Handled[0];
constexpr std::size_t Interrupt = 0; // SIGINT's place in Handled

volatile std::sig_atomic_t noted = 0;
// Whether an interface is taken, for the signal handler.
volatile std::sig_atomic_t anyTaken = 0;
struct sigaction before[HandledCount];
bool installed[HandledCount] = {};
std::vector<linux_backend::UsbInterface*> taken;

// The console control handlers, the first added first, read by the signal
// handler while the program adds and removes them: a fixed array of
// lock-free slots, so that a reader always finds every handler that stays
// (perhaps one twice, while one is removed below it).
constexpr std::size_t MaxCtrlHandlers = 16;
std::atomic<PHANDLER_ROUTINE> ctrlHandlers[MaxCtrlHandlers];
std::atomic<std::size_t> ctrlCount{0};
static_assert(std::atomic<PHANDLER_ROUTINE>::is_always_lock_free &&
                  std::atomic<std::size_t>::is_always_lock_free,
              "the signal handler reads them");
std::mutex ctrlLock; // between threads that add and remove

bool CallCtrlHandlers(DWORD event) {
    for (std::size_t i = ctrlCount.load(); i-- > 0;) {
        const PHANDLER_ROUTINE handler = ctrlHandlers[i].load();
        if (handler != nullptr && handler(event))
            return true;
    }
    return false;
}

void Unblock(int signal) {
    sigset_t just;
    sigemptyset(&just);
    sigaddset(&just, signal);
    sigprocmask(SIG_UNBLOCK, &just, nullptr);
}

extern "C" void Note(int signal) {
    noted = signal;
}

extern "C" void OnInterrupt(int signal) {
    if (CallCtrlHandlers(CTRL_C_EVENT))
        return;
    if (anyTaken) {
        noted = signal; // given back from the waits, as without handlers
        return;
    }
    // Nothing to give back: the disposition before ours has it now, as if
    // no handler had been added. sigaction, sigprocmask and raise may be
    // called here.
    struct sigaction ours;
    sigaction(signal, &before[Interrupt], &ours);
    Unblock(signal);
    raise(signal);
    // A handler of the program's own that returned: ours again.
    sigaction(signal, &ours, nullptr);
}

// Whether the signal at Handled[i] is to be ours now.
bool Wanted(std::size_t i) {
    return !taken.empty() || (i == Interrupt && ctrlCount.load() != 0);
}

void Install(std::size_t i) {
    if (installed[i] || sigaction(Handled[i], nullptr, &before[i]) != 0 ||
        before[i].sa_handler == SIG_IGN)
        return; // ignored (nohup, say): it ends nothing, so leave it so
    struct sigaction note = {};
    note.sa_handler = i == Interrupt ? OnInterrupt : Note;
    sigemptyset(&note.sa_mask);
    // No SA_RESTART: a wait that the signal interrupts returns at once.
    note.sa_flags = 0;
    installed[i] = sigaction(Handled[i], &note, nullptr) == 0;
}

void Restore(std::size_t i) {
    if (installed[i]) {
        sigaction(Handled[i], &before[i], nullptr);
        installed[i] = false;
    }
}

// Each signal ours while it is wanted, and what was there before otherwise.
void Update() {
    for (std::size_t i = 0; i < HandledCount; ++i) {
        if (Wanted(i))
            Install(i);
        else
            Restore(i);
    }
}

void RestoreAll() {
    for (std::size_t i = 0; i < HandledCount; ++i)
        Restore(i);
}

} // namespace

namespace linux_backend {

void TrackTaken(UsbInterface& usb) {
    taken.push_back(&usb);
    anyTaken = 1;
    Update();
}

void TrackReleased(UsbInterface& usb) {
    taken.erase(std::remove(taken.begin(), taken.end(), &usb), taken.end());
    if (!taken.empty())
        return;
    anyTaken = 0;
    // A signal that came between the last wait and now still ends us (a
    // SIGINT is noted only when no console control handler took it).
    if (noted != 0) {
        const int signal = noted;
        noted = 0;
        RestoreAll();
        raise(signal);
    }
    Update();
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
    anyTaken = 0;
    RestoreAll();
    Unblock(signal);
    raise(signal);
    // The disposition before ours was a handler that returned: there is no
    // device left to go on with.
    _exit(128 + signal);
}

BOOL AddCtrlHandler(PHANDLER_ROUTINE handler) {
    const std::lock_guard<std::mutex> lock(ctrlLock);
    const std::size_t count = ctrlCount.load();
    if (count == MaxCtrlHandlers)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    ctrlHandlers[count].store(handler);
    ctrlCount.store(count + 1); // only now may the signal handler call it
    Update();
    return TRUE;
}

BOOL RemoveCtrlHandler(PHANDLER_ROUTINE handler) {
    const std::lock_guard<std::mutex> lock(ctrlLock);
    const std::size_t count = ctrlCount.load();
    std::size_t at = count;
    while (at > 0 && ctrlHandlers[at - 1].load() != handler)
        --at;
    if (at == 0)
        return Fail(ERROR_INVALID_PARAMETER);
    // Moved down one by one, each copied before it is overwritten.
    for (std::size_t i = at - 1; i + 1 < count; ++i)
        ctrlHandlers[i].store(ctrlHandlers[i + 1].load());
    ctrlCount.store(count - 1);
    ctrlHandlers[count - 1].store(nullptr);
    Update();
    return TRUE;
}

} // namespace linux_backend
