#include "gadget/log.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <mutex>

#include "protocol/hex.h"

namespace gadget {

namespace {

std::mutex logMutex;
std::FILE* logFile = stdout;
std::function<void(const std::string&)> logListener;
std::string logProblem;
bool stampLines = false;
std::atomic<bool> quiet{false};

std::atomic<bool> stopping{false};
// Made before any thread starts: the first call comes from main.
int stopFd = -1;

} // namespace

void SetLogFile(std::FILE* file) {
    std::lock_guard<std::mutex> lock(logMutex);
    logFile = file;
}

void SetLogListener(std::function<void(const std::string&)> listener) {
    std::lock_guard<std::mutex> lock(logMutex);
    logListener = std::move(listener);
}

void SetStamp(bool on) {
    stampLines = on;
}

void SetQuiet(bool on) {
    quiet = on;
}

bool Quiet() {
    return quiet;
}

long long NowUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000LL + now.tv_nsec / 1000;
}

void Log(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list again;
    va_copy(again, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(text.data(), text.size() + 1, fmt, again);
    va_end(again);
    std::lock_guard<std::mutex> lock(logMutex);
    std::string line;
    if (stampLines)
        line = "[" + std::to_string(NowUs()) + "] ";
    line += text;
    if (logListener)
        logListener(line);
    if (logFile == nullptr || !logProblem.empty())
        return;
    // Flushed at once: scenarios read the log while the gadget runs.
    if (std::fprintf(logFile, "%s\n", line.c_str()) < 0 || std::fflush(logFile) != 0)
        logProblem = std::string("cannot write the log: ") + std::strerror(errno);
}

std::string LogProblem() {
    std::lock_guard<std::mutex> lock(logMutex);
    return logProblem;
}

std::string Hex(const std::uint8_t* p, std::size_t n) {
    return protocol::HexBytes({p, n}, 0, protocol::HexCase::Lower);
}

int StopFd() {
    if (stopFd < 0)
        stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return stopFd;
}

void RequestStop() {
    stopping = true;
    const std::uint64_t one = 1;
    // From the signal thread too: write() is safe anywhere.
    if (write(StopFd(), &one, sizeof one) < 0) {
        // The flag alone still ends every wait at its next look.
    }
}

bool StopRequested() {
    return stopping;
}

void ClearStop() {
    stopping = false;
    std::uint64_t count = 0;
    // Drained, so that poll() waits on it again.
    if (read(StopFd(), &count, sizeof count) < 0) {
        // Nothing to drain: no stop was requested.
    }
}

} // namespace gadget
