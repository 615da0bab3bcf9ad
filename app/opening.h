// Opening the pendant, or saying why it could not be opened: the same for
// the loop, its reconnection and the check.
#pragma once

#include "usb/winapi.h"

struct PendantDevice;

struct Opening {
    HRESULT result = S_OK;
    BOOL noDevice = FALSE;
    bool Opened() const { return SUCCEEDED(result); }
};

// What the pendant's failure to open is told with.
enum class SayWhy {
    Nothing, // a reconnection looks again a second later, quietly
    Message, // the message line and the platform's advice
    Closing, // those with "nothing to do..." between them, before the closing read
};

// Opens the pendant (Open prints the survey as it goes) and flushes what was
// printed, so that it reaches a pipe before anything else is done; when it
// fails, says why as asked.
Opening OpenPendant(PendantDevice& device, SayWhy say);
