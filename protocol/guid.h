// The interface GUID as text: "{136917CC-...}" as the driver package and the
// udev rule write it, or in lower case as Windows device paths carry it.
#pragma once

#include <string>

#include "protocol/wire.h"

std::string FormatGuidParts(const InterfaceGuidParts& guid, bool lowerCase = false);
