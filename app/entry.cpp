#include "app/entry.h"

#include <cstdio>
#include <cstring>
#include <iomanip>

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

ToolOptions ParseOptions(int argc, const char* const* argv) {
    ToolOptions options;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--reconnect") == 0)
            options.reconnect = true;
    return options;
}

int RunTool(std::istream& in, const TurnHook& anotherTurn, const ToolOptions& options) {
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

    if (noDevice)
        std::printf("Device not connected or driver not installed\n");
    else
        std::printf("Failed looking for device, HRESULT 0x%x\n", static_cast<unsigned>(r));
    std::printf("nothing to do...\n");
    std::fflush(stdout);
    PrintPlatformAdvice();

    // Bounded to the buffer: a longer word is cut, and it is discarded anyway.
    char word[64];
    in >> std::setw(sizeof word) >> word;
    return 0;
}
