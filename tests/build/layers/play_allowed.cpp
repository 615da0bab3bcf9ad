// What the toolkit may include compiles; and a header reached by two paths
// (through two libraries' include folders, or through a folder's link and
// the source itself) is read once: #pragma once holds, or the second
// reading would define everything again.
#include "play/script.h"
#include "protocol/wire.h"
#include PENDANT_WIRE_THROUGH_PROTOCOL
#include PENDANT_WIRE_FROM_SOURCE

static_assert(sizeof(play::Pipe) > 0);
