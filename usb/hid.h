// A pendant reached through the system's own HID driver (pendant-test --hid):
// which HID devices are pendants, and finding one. Opening, closing and the
// survey are the record's (usb/hid_open.cpp).
#pragma once

#include <cstddef>

#include "usb/winapi.h"

// What a HID device says of itself, read without opening it for writing.
struct HidFigures {
    USHORT vendorId = 0;
    USHORT productId = 0;
    USHORT version = 0;
    USAGE usagePage = 0;
    USAGE usage = 0;
    USHORT inputReportBytes = 0;   // the longest input report, id byte included
    USHORT featureReportBytes = 0; // the longest feature report
};

// Whether the open HID device is a pendant: it declares input report 4 (the
// wheel's) of at least the bytes the tool looks at and at most a read's
// buffer, and feature report 6 (the display's) of its 8 bytes, each with its
// id. Fills figures as far as it read them. Reads the device's descriptions
// only: nothing is sent to the device.
bool IsHidPendant(HANDLE device, HidFigures& figures);

// Finds the first present HID device that is a pendant, opening each HID
// device with no access asked (never for writing) to read what it is, and
// copies its path. noDevice, when given, is set to 1 only when none is.
HRESULT FindHidPendantPath(char* path, std::size_t pathLength, BOOL* noDevice);
