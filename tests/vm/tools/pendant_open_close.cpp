// Opens the pendant exactly as pendant-test does, then closes it again: the
// one way to see, in the guest, that closing gives the interface back to the
// kernel driver (pendant-test itself never closes; it is ended).
//   pendant-open-close [--pause-at CALL | --ctrl-c] [SECONDS]
// SECONDS: hold the pendant open that long before closing. --pause-at CALL:
// when the backend is about to make that platform call (the first time),
// print "PAUSED CALL" and wait for a line on standard input: the scenario
// pulls the pendant out there, between two steps of the opening. --ctrl-c:
// once open, catch Ctrl+C with a console control handler and wait in the
// platform's Sleep until it comes; then print "CTRL-C", wait for a line on
// standard input (the scenario looks at the interface meanwhile) and close.
#include <unistd.h>

#include <atomic>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "backends/linux/linux_backend.h"
#include "pendant/pendant_device.h"

namespace {

const char* pauseAt = nullptr;
std::atomic<bool> ctrlC{false};

BOOL WINAPI NoteCtrlC(DWORD event) {
    if (event != CTRL_C_EVENT)
        return FALSE;
    ctrlC = true;
    return TRUE;
}

void PauseThere(const char* call) {
    if (pauseAt == nullptr || std::strcmp(call, pauseAt) != 0)
        return;
    pauseAt = nullptr;
    std::printf("\nPAUSED %s\n", call);
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
}

} // namespace

int main(int argc, char** argv) {
    int at = 1;
    bool catchCtrlC = false;
    if (argc > 2 && std::strcmp(argv[1], "--pause-at") == 0) {
        pauseAt = argv[2];
        linux_backend::SetStepHook(PauseThere);
        at = 3;
    } else if (argc > 1 && std::strcmp(argv[1], "--ctrl-c") == 0) {
        catchCtrlC = true;
        at = 2;
    }
    PendantDevice device;
    BOOL noDevice = FALSE;
    const HRESULT r = device.Open(&noDevice);
    std::printf("\nOPEN 0x%x\n", static_cast<unsigned>(r));
    std::fflush(stdout);
    if (FAILED(r))
        return 1;
    if (catchCtrlC) {
        if (!SetConsoleCtrlHandler(NoteCtrlC, TRUE))
            return 2;
        std::printf("HANDLER\n");
        std::fflush(stdout);
        while (!ctrlC)
            Sleep(10);
        std::printf("CTRL-C\n");
        std::fflush(stdout);
        std::string line;
        std::getline(std::cin, line);
        if (!SetConsoleCtrlHandler(NoteCtrlC, FALSE))
            return 2;
    }
    if (argc > at)
        sleep(static_cast<unsigned>(std::atoi(argv[at])));
    device.Close();
    std::printf("CLOSED\n");
    return 0;
}
