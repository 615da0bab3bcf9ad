// The toolkit shared with pendant-gadget must not reach the virtual
// pendant: pendant-gadget links no backend.
#include "backends/virtual/virtual_pendant.h"
