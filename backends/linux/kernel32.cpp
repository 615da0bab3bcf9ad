// kernel32 on Linux: the last error, the device file (a usbfs node opened
// with open(2), or a hidraw node: hidraw.cpp), LocalAlloc, the clock and
// the console control handlers (on SIGINT, in handback.cpp). Events and
// overlapped reads: overlapped.cpp.
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <new>

#include "backends/linux/error_map.h"
#include "backends/linux/handles.h"
#include "backends/linux/linux_backend.h"

namespace linux_backend {

namespace {
StepHook stepHook = nullptr;
} // namespace

void SetStepHook(StepHook hook) {
    stepHook = hook;
}

void Step(const char* call) {
    if (stepHook != nullptr)
        stepHook(call);
}

DWORD& LastError() {
    thread_local DWORD lastError = ERROR_SUCCESS;
    return lastError;
}

BOOL Fail(DWORD error) {
    LastError() = error;
    return FALSE;
}

BOOL FailLibusb(int libusbError) {
    return Fail(Win32FromLibusb(libusbError));
}

} // namespace linux_backend

using namespace linux_backend;

DWORD WINAPI GetLastError() {
    return LastError();
}

void WINAPI SetLastError(DWORD dwErrCode) {
    LastError() = dwErrCode;
}

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    // LocalAlloc of 0 bytes still returns a block that LocalFree takes.
    const SIZE_T n = uBytes == 0 ? 1 : uBytes;
    void* p = (uFlags & LMEM_ZEROINIT) ? std::calloc(1, n) : std::malloc(n);
    if (p == nullptr)
        LastError() = ERROR_NOT_ENOUGH_MEMORY;
    return p;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    std::free(hMem);
    return nullptr;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    // A signal that came while no wait was on (between two failed reads of
    // an unplugged pendant) interrupts no sleep: honour it here, or it would
    // wait for one that never comes.
    HonourSignal();
    if (dwMilliseconds == 0) {
        sched_yield();
        return;
    }
    timespec left{static_cast<time_t>(dwMilliseconds / 1000),
                  static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR)
        HonourSignal();
}

DWORD WINAPI GetTickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Milliseconds since an arbitrary start, wrapping at 2^32 like Windows.
    return static_cast<DWORD>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                              static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add) {
    // nullptr asks Windows to ignore Ctrl+C, which the core never does.
    if (HandlerRoutine == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    return Add ? AddCtrlHandler(HandlerRoutine) : RemoveCtrlHandler(HandlerRoutine);
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                          HANDLE /*hTemplateFile*/) {
    Step("CreateFileA");
    // Only device nodes are opened here, so only OPEN_EXISTING makes sense;
    // sharing and overlapped I/O have no usbfs counterpart and are ignored.
    if (lpFileName == nullptr || dwCreationDisposition != OPEN_EXISTING) {
        LastError() = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    if (IsHidrawNode(lpFileName))
        return OpenHidraw(lpFileName, dwDesiredAccess, dwFlagsAndAttributes);
    const bool read = (dwDesiredAccess & GENERIC_READ) != 0;
    const bool write = (dwDesiredAccess & GENERIC_WRITE) != 0;
    const int mode = write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY;
    const int fd = open(lpFileName, mode | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        LastError() = Win32FromErrno(err);
        if (LastError() == ERROR_ACCESS_DENIED)
            RememberRefusedNode(lpFileName);
        return INVALID_HANDLE_VALUE;
    }
    auto* file = new (std::nothrow) DeviceFile;
    if (file == nullptr) {
        close(fd);
        LastError() = ERROR_NOT_ENOUGH_MEMORY;
        return INVALID_HANDLE_VALUE;
    }
    file->fd = fd;
    file->path = lpFileName;
    LastError() = ERROR_SUCCESS;
    return file;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (auto* hid = As<HidDevice>(hObject, Kind::Hid)) {
        CloseHidDevice(hid);
        return TRUE;
    }
    if (auto* event = As<Event>(hObject, Kind::Event)) {
        CloseEvent(event);
        return TRUE;
    }
    auto* file = As<DeviceFile>(hObject, Kind::File);
    if (file == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    close(file->fd);
    file->kind = Kind{};
    delete file;
    return TRUE;
}
