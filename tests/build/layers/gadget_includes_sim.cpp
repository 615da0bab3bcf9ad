// pendant-gadget shares the toolkit (play/), not pendant-sim's own parts.
#include "sim/script_runner.h"
