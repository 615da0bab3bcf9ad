// Windows says all there is to say in the tool's own messages.
#include "usb/platform_advice.h"

void PrintPlatformAdvice() {}
