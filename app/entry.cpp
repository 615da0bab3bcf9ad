#include "app/entry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <string>

#include "app/reconnect.h"

#include "pendant/pendant_device.h"
#include "usb/platform_advice.h"

void RunTurn(PendantDevice& device) {
    // Tested here too so that an idle turn skips the call altogether.
    if (device.DisplayDirty)
        device.SendDisplay();
    const DWORD started = GetTickCount();
    const std::int32_t r = device.ReadInput();
    const bool failedAtOnce = r != 0 || (device.LastReadError != ERROR_SUCCESS &&
                                         device.LastReadError != ERROR_SEM_TIMEOUT);
    if (!failedAtOnce)
        return;
    // Unsigned subtraction stays right across the tick counter's wrap.
    const DWORD elapsed = GetTickCount() - started;
    if (elapsed < ReadTimeoutMs)
        Sleep(ReadTimeoutMs - elapsed);
}

namespace {
// S as whole seconds, 1 to 3600.
bool Seconds(const char* text, DWORD& ms) {
    char* end = nullptr;
    const long s = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || s < 1 || s > 3600)
        return false;
    ms = static_cast<DWORD>(s) * 1000;
    return true;
}
} // namespace

ToolOptions ParseOptions(int argc, const char* const* argv) {
    ToolOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        // Whether a is the option name, as "--name value" or "--name=value";
        // has says whether the value came.
        std::string v;
        bool has = false;
        auto is = [&](const std::string& name) {
            if (a == name) {
                has = i + 1 < argc;
                if (has)
                    v = argv[++i];
                return true;
            }
            if (a.compare(0, name.size() + 1, name + "=") != 0)
                return false;
            has = true;
            v = a.substr(name.size() + 1);
            return true;
        };
        if (a == "--reconnect") {
            options.reconnect = true;
        } else if (a == "--check") {
            options.check = true;
        } else if (a == "--no-person") {
            options.checkOptions.person = false;
        } else if (is("--step-timeout")) {
            if (!has || !Seconds(v.c_str(), options.checkOptions.stepTimeoutMs))
                options.problem = "--step-timeout takes whole seconds from 1 to 3600";
        } else if (is("--report")) {
            if (!has || v.empty())
                options.problem = "--report takes the name of the file to write";
            else
                options.checkOptions.reportPath = v;
        }
    }
    return options;
}

void PrintOpenFailure(HRESULT r, BOOL noDevice) {
    if (noDevice)
        std::printf("Device not connected or driver not installed\n");
    else
        std::printf("Failed looking for device, HRESULT 0x%x\n", static_cast<unsigned>(r));
    std::printf("nothing to do...\n");
    std::fflush(stdout);
    PrintPlatformAdvice();
}

int RunTool(std::istream& in, const TurnHook& anotherTurn, const ToolOptions& options) {
    if (options.check) {
        if (!options.problem.empty()) {
            std::fprintf(stderr, "pendant-test: %s\n", options.problem.c_str());
            return CheckNotOpened;
        }
        return RunCheck(options.checkOptions, PersonAtConsole(in));
    }
    PendantDevice device;
    BOOL noDevice = FALSE;
    const HRESULT r = device.Open(&noDevice);
    std::fflush(stdout);

    if (SUCCEEDED(r)) {
        if (options.reconnect) {
            Reconnection state;
            while (!anotherTurn || anotherTurn(device))
                RunReconnectingTurn(device, state);
        } else {
            while (!anotherTurn || anotherTurn(device))
                RunTurn(device);
        }
        device.Close();
        return 0;
    }

    PrintOpenFailure(r, noDevice);

    // Bounded to the buffer: a longer word is cut, and it is discarded anyway.
    char word[64];
    in >> std::setw(sizeof word) >> word;
    return 0;
}
