// What the check may include compiles: its own folder, the loop it builds
// on, the record and the platform.
#include "app/reconnect.h"
#include "check/check.h"
#include "pendant/pendant_device.h"
#include "usb/winapi.h"

static_assert(CheckPromptCount > 1);
