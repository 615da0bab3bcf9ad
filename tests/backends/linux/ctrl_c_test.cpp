// Ctrl+C on the Linux backend while it holds an interface taken from its
// kernel driver: a console control handler that takes SIGINT leaves the
// interface taken and the program running (it closes the pendant itself);
// unhandled, SIGINT ends the program once the interface is back, as without
// handlers. The interface is a stand-in that only the signal bookkeeping
// sees: giving it back to a driver would crash, so each case runs in a
// child, and a wrong give-back fails the case instead of the whole program.
// Without a handler, the signals scenario of the VM test covers it on a
// real pendant.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "backends/linux/handles.h"

namespace {

std::atomic<int> ctrlCs{0};

BOOL WINAPI Takes(DWORD event) {
    if (event == CTRL_C_EVENT)
        ++ctrlCs;
    return TRUE;
}
BOOL WINAPI Declines(DWORD) {
    return FALSE;
}

constexpr int Went = 7;

TEST(CtrlCDeathTest, TakenByAHandlerTheInterfaceStaysTakenAndTheProgramGoesOn) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::signal(SIGINT, SIG_DFL); // as from a terminal
            linux_backend::UsbInterface usb;
            linux_backend::TrackTaken(usb);
            SetConsoleCtrlHandler(Takes, TRUE);
            raise(SIGINT);
            // The waits look for a signal to honour: none.
            linux_backend::HonourSignal();
            Sleep(1);
            if (ctrlCs != 1)
                std::_Exit(1);
            SetConsoleCtrlHandler(Takes, FALSE);
            linux_backend::TrackReleased(usb);
            // Nothing noted: released, the program still goes on.
            struct sigaction now;
            sigaction(SIGINT, nullptr, &now);
            std::_Exit(now.sa_handler == SIG_DFL ? Went : 2);
        },
        testing::ExitedWithCode(Went), "");
}

TEST(CtrlCDeathTest, DeclinedItEndsTheProgramOnceTheInterfaceIsBack) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::signal(SIGINT, SIG_DFL);
            linux_backend::UsbInterface usb;
            linux_backend::TrackTaken(usb);
            SetConsoleCtrlHandler(Declines, TRUE);
            raise(SIGINT);
            std::fprintf(stderr, "noted, not ended\n");
            // As WinUsb_Free does after giving it back.
            linux_backend::TrackReleased(usb);
            std::_Exit(Went);
        },
        testing::KilledBySignal(SIGINT), "noted, not ended");
}

TEST(CtrlCDeathTest, WithNothingTakenAHandlerTakesItAndRemovedSigintIsAsBefore) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::signal(SIGINT, SIG_DFL);
            SetConsoleCtrlHandler(Takes, TRUE);
            raise(SIGINT);
            std::fprintf(stderr, "handled %d\n", ctrlCs.load());
            SetConsoleCtrlHandler(Takes, FALSE);
            struct sigaction now;
            sigaction(SIGINT, nullptr, &now);
            if (now.sa_handler != SIG_DFL)
                std::_Exit(2); // not what was there before
            raise(SIGINT);
            std::_Exit(Went);
        },
        testing::KilledBySignal(SIGINT), "handled 1");
}

TEST(CtrlCDeathTest, SigtermStillGivesBackAndEnds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A handler added changes nothing for SIGTERM: noted while taken, it
    // ends the program once the interface is back.
    EXPECT_EXIT(
        {
            std::signal(SIGTERM, SIG_DFL);
            linux_backend::UsbInterface usb;
            linux_backend::TrackTaken(usb);
            SetConsoleCtrlHandler(Takes, TRUE);
            raise(SIGTERM);
            std::fprintf(stderr, "noted, not ended\n");
            linux_backend::TrackReleased(usb);
            std::_Exit(Went);
        },
        testing::KilledBySignal(SIGTERM), "noted, not ended");
}

} // namespace
