// kernel32: the last error, the device file, memory, time and the console
// control handlers, served by the virtual pendant.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "backends/virtual/state.h"

using namespace virtual_pendant;

DWORD WINAPI GetLastError() {
    Count(Call::GetLastError);
    Record(Call::GetLastError, {});
    return LastError();
}

void WINAPI SetLastError(DWORD dwErrCode) {
    Count(Call::SetLastError);
    Record(Call::SetLastError, {dwErrCode});
    LastError() = dwErrCode;
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    CallRecord& r = Record(Call::CreateFileA,
                           {dwDesiredAccess, dwShareMode, Given(lpSecurityAttributes),
                            dwCreationDisposition, dwFlagsAndAttributes, Given(hTemplateFile)});
    if (lpFileName != nullptr)
        r.bytes.assign(lpFileName, lpFileName + std::strlen(lpFileName));
    DWORD error = 0;
    if (Injected(Call::CreateFileA, error))
        return Fail(r, error, INVALID_HANDLE_VALUE);
    if (lpFileName == nullptr)
        return Finish(r, ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    // The pendant (target 0) while it is there, or another HID device.
    std::size_t target = SIZE_MAX;
    if (Visible() && S().device.path == lpFileName)
        target = 0;
    for (std::size_t k = 0; k < S().device.otherHid.size() && target == SIZE_MAX; ++k)
        if (S().device.otherHid[k].path == lpFileName)
            target = k + 1;
    if (target == SIZE_MAX)
        return Finish(r, ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    HANDLE h = NewHandle(S().files);
    Issued& issued = S().files[reinterpret_cast<std::uintptr_t>(h)];
    issued.target = target;
    issued.access = dwDesiredAccess;
    return Finish(r, ERROR_SUCCESS, h);
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    CallRecord& r = Record(Call::CloseHandle, {reinterpret_cast<std::uintptr_t>(hObject)});
    DWORD error = 0;
    if (Injected(Call::CloseHandle, error))
        return Fail(r, error, FALSE);
    const auto h = reinterpret_cast<std::uintptr_t>(hObject);
    if (S().events.erase(h) != 0)
        return Finish(r, ERROR_SUCCESS, TRUE);
    if (!Known(S().files, hObject))
        return Finish(r, ERROR_INVALID_HANDLE, FALSE);
    // A read under way goes with its file.
    S().reads.erase(h);
    S().files.erase(h);
    return Finish(r, ERROR_SUCCESS, TRUE);
}

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    CallRecord& r = Record(Call::LocalAlloc, {uFlags, uBytes});
    DWORD error = 0;
    if (Injected(Call::LocalAlloc, error))
        return Fail(r, error, static_cast<HLOCAL>(nullptr));
    void* block = std::malloc(uBytes == 0 ? 1 : uBytes);
    if (block == nullptr)
        return Finish(r, ERROR_NOT_ENOUGH_MEMORY, static_cast<HLOCAL>(nullptr));
    if (uFlags & LMEM_ZEROINIT)
        std::memset(block, 0, uBytes);
    S().blocks.insert(block);
    return Finish(r, ERROR_SUCCESS, static_cast<HLOCAL>(block));
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    CallRecord& r = Record(Call::LocalFree, {Given(hMem)});
    DWORD error = 0;
    if (Injected(Call::LocalFree, error))
        return Fail(r, error, hMem);
    if (hMem == nullptr)
        return Finish(r, ERROR_SUCCESS, static_cast<HLOCAL>(nullptr));
    if (S().blocks.erase(hMem) == 0)
        return Finish(r, ERROR_INVALID_HANDLE, hMem);
    std::free(hMem);
    return Finish(r, ERROR_SUCCESS, static_cast<HLOCAL>(nullptr));
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    Count(Call::Sleep);
    Record(Call::Sleep, {dwMilliseconds});
    if (S().history)
        S().sleeps.push_back(dwMilliseconds);
    Wait(dwMilliseconds);
}

DWORD WINAPI GetTickCount() {
    Count(Call::GetTickCount);
    Record(Call::GetTickCount, {});
    SyncClock();
    return S().clock;
}

BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add) {
    CallRecord& r =
        Record(Call::SetConsoleCtrlHandler, {Given(reinterpret_cast<const void*>(HandlerRoutine)),
                                             static_cast<std::uint64_t>(Add)});
    DWORD error = 0;
    if (Injected(Call::SetConsoleCtrlHandler, error))
        return Fail(r, error, FALSE);
    // nullptr asks Windows to ignore Ctrl+C, which the core never does.
    if (HandlerRoutine == nullptr)
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    std::vector<PHANDLER_ROUTINE>& handlers = S().ctrlHandlers;
    if (Add) {
        handlers.push_back(HandlerRoutine);
        return Finish(r, ERROR_SUCCESS, TRUE);
    }
    const auto latest = std::find(handlers.rbegin(), handlers.rend(), HandlerRoutine);
    if (latest == handlers.rend())
        return Finish(r, ERROR_INVALID_PARAMETER, FALSE);
    handlers.erase(std::next(latest).base());
    return Finish(r, ERROR_SUCCESS, TRUE);
}
