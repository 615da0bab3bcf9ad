// The person of the real tool: lines typed at the console (or piped in),
// read on a thread of their own so that no wait of the check blocks on the
// keyboard.
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "check/check.h"

namespace {
struct Lines {
    std::mutex lock;
    std::deque<std::string> waiting;
};
} // namespace

CheckPerson PersonAtConsole(std::istream& in) {
    auto lines = std::make_shared<Lines>();
    auto started = std::make_shared<bool>(false);
    CheckPerson person;
    person.takeLine = [lines, started, &in](std::string& line) {
        // Started by the first wait, so that a pendant that cannot be opened
        // leaves the input unread (and nothing running). Detached: a read of
        // the keyboard cannot be called off, and the thread holds what it
        // uses, so it may outlive the check until the program ends. At the
        // end of the input it just stops; the waits then time out.
        if (!*started) {
            *started = true;
            std::thread([lines, &in] {
                std::string typed;
                while (std::getline(in, typed)) {
                    const std::lock_guard<std::mutex> hold(lines->lock);
                    lines->waiting.push_back(typed);
                }
            }).detach();
        }
        const std::lock_guard<std::mutex> hold(lines->lock);
        if (lines->waiting.empty())
            return false;
        line = std::move(lines->waiting.front());
        lines->waiting.pop_front();
        return true;
    };
    return person;
}
