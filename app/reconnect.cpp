#include "app/reconnect.h"

#include "app/opening.h"
#include "app/turn.h"
#include "pendant/pendant_device.h"

bool DeviceGone(DWORD readError) {
    return readError == ERROR_BAD_COMMAND || readError == ERROR_DEVICE_NOT_CONNECTED;
}

namespace {
// What the survey and the opening find out, forgotten so that a pendant
// opened again is surveyed as on the first opening (PipeInterruptFirst
// unset, the read length from its own packets and descriptor); the display
// values stay.
void ForgetPendant(PendantDevice& device) {
    device.DeviceDescriptor = {};
    device.ReadPipeId = 0;
    device.WritePipeId = 0;
    device.PipeInterruptFirst = 0;
    device.PipeInterruptLast = 0;
    device.ReadLength = InputReportBytes;
    device.InterfaceClass = 0;
    device.ReadPacketBytes = 0;
    device.DeclaredReportBytes = 0;
    device.LastReadError = ERROR_SUCCESS;
}

bool LookAgain(PendantDevice& device, Reconnection& state) {
    const DWORD now = GetTickCount();
    // Unsigned subtraction stays right across the tick counter's wrap.
    if (state.looked && now - state.lastLookAt < ReconnectIntervalMs)
        return false;
    state.looked = true;
    state.lastLookAt = now;
    ForgetPendant(device);
    if (!OpenPendant(device, SayWhy::Nothing).Opened())
        return false;
    state.away = false;
    device.DisplayDirty = true;
    return true;
}
} // namespace

Reconnection AwayFromStart() {
    Reconnection state;
    state.away = true;
    state.looked = true;
    state.lastLookAt = GetTickCount();
    return state;
}

bool RunReconnectingTurn(PendantDevice& device, Reconnection& state) {
    if (!state.away) {
        RunTurn(device);
        if (DeviceGone(device.LastReadError)) {
            device.Close();
            state.away = true;
            state.looked = false;
        }
        return false;
    }
    const DWORD started = GetTickCount();
    if (LookAgain(device, state))
        return true;
    WaitOutReadTimeout(started);
    return false;
}
