// The toolkit speaks of calls and pipes in its own terms: nothing of usb/,
// not even the platform's types.
#include "usb/platform_types.h"
