// The record and its USB operations sit below the check.
#include "check/check.h"
