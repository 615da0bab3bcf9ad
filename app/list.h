// pendant-test --list: the pendants either way would find.
#pragma once

// Prints each pendant on a line of its own: its path, its USB id as
// VID:PID, and the way it is reached ("WinUSB" under the interface GUID,
// "HID" on the system's HID driver). 0 when it listed one or more; else 1,
// saying why on standard error.
int ListPendants();
