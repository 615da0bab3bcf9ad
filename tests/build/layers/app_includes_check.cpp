// The tool's loop sits below the check, which builds on it; only
// pendant-test's main sees both.
#include "check/check.h"
