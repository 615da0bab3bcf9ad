// What the shared sim library may include compiles; and a header reached
// by two paths (through two libraries' include folders, or through a
// folder's link and the source itself) is read once: #pragma once holds,
// or the second reading would define everything again.
#include "play/script.h"
#include "protocol/wire.h"
#include "usb/platform_types.h"
#include PENDANT_WINAPI_THROUGH_CORE
#include PENDANT_WIRE_FROM_SOURCE

static_assert(sizeof(PipeDescription) > 0);
