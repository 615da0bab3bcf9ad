// Of usb/, the shared sim library sees the platform's types and call names
// alone, not the core's discovery.
#include "usb/discovery.h"
