// The toolkit shared by pendant-sim and pendant-gadget must not reach the
// core's entry.
#include "app/entry.h"
