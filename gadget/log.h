// The gadget's log, one event a line (READY, FRAME <48 bytes>, IN-SENT ...;
// docs/gadget.md lists them), and the one switch that ends the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace gadget {

// Where log lines go (nullptr: nowhere); stdout by default.
void SetLogFile(std::FILE* file);
// Every line also goes to the listener (the interactive screen's pane).
void SetLogListener(std::function<void(const std::string&)> listener);
// "[<microseconds>] " on the monotonic clock before every line.
void SetStamp(bool on);
// Leaves out the per-transfer and per-frame lines; counting goes on.
void SetQuiet(bool on);
bool Quiet();

void Log(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// "" while every line reached the log file, else why one did not.
std::string LogProblem();

// "06 fe fd": protocol::HexBytes in lower case, as the log writes bytes.
std::string Hex(const std::uint8_t* p, std::size_t n);
long long NowUs();

// A signal, the end of the script or the q key: every wait looks at this.
void RequestStop();
bool StopRequested();
// Readable once a stop is requested, for poll().
int StopFd();
// Takes the stop back, once everything that saw it has ended: for a process
// that serves again after a stop (the tests start and stop many functions).
void ClearStop();

} // namespace gadget
