// The wire format knows no platform.
#include "usb/winapi.h"
