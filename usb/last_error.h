// The HRESULT of the platform call that has just failed.
#pragma once

#include "usb/winapi.h"

// HRESULT_FROM_WIN32 of the last error. A call can fail without setting a
// last error, and HRESULT_FROM_WIN32(0) is S_OK: that failure would pass for
// success (and the tool would go on with no device), so it is reported as
// ERROR_GEN_FAILURE, as the read loop does.
inline HRESULT LastErrorResult() {
    const DWORD error = GetLastError();
    return HRESULT_FROM_WIN32(error == ERROR_SUCCESS ? static_cast<DWORD>(ERROR_GEN_FAILURE)
                                                     : error);
}
