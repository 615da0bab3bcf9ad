// The interface GUID as text: "{XXXXXXXX-XXXX-...}" as the driver package and the
// udev rule write it, or in lower case as Windows device paths carry it.
#pragma once

#include <string>

#include "protocol/wire.h"

std::string FormatGuidParts(const InterfaceGuidParts& guid, bool lowerCase = false);
