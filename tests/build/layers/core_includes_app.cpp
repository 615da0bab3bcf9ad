// The record and its USB operations sit below the tool's loop.
#include "app/entry.h"
