// The shared sim library must not reach the core's entry.
#include "app/entry.h"
