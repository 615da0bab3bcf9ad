// The HRESULT of the platform call that has just failed.
#pragma once

#include "usb/winapi.h"

// The last error of a call that has just failed. A call can fail without
// setting one; 0 would then pass for success (HRESULT_FROM_WIN32(0) is S_OK,
// and the read loop would take it for a report), so it reads as
// ERROR_GEN_FAILURE.
inline DWORD LastFailure() {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? static_cast<DWORD>(ERROR_GEN_FAILURE) : error;
}

// HRESULT_FROM_WIN32 of that error.
inline HRESULT LastErrorResult() {
    return HRESULT_FROM_WIN32(LastFailure());
}
