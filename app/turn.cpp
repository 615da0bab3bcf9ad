#include "app/turn.h"

#include "pendant/pendant_device.h"

void WaitOutReadTimeout(DWORD started) {
    // Unsigned subtraction stays right across the tick counter's wrap.
    const DWORD elapsed = GetTickCount() - started;
    if (elapsed < ReadTimeoutMs)
        Sleep(ReadTimeoutMs - elapsed);
}

void RunTurn(PendantDevice& device) {
    // Tested here too so that an idle turn skips the call altogether.
    if (device.DisplayDirty)
        device.SendDisplay();
    const DWORD started = GetTickCount();
    const std::int32_t r = device.ReadInput();
    const bool failedAtOnce = r != 0 || (device.LastReadError != ERROR_SUCCESS &&
                                         device.LastReadError != ERROR_SEM_TIMEOUT);
    if (failedAtOnce)
        WaitOutReadTimeout(started);
}
