// Stopping running copies of the application before its files change.
#pragma once

#include <windows.h>

struct ShutdownOutcome {
    int asked = 0;  // copies asked to close
    int left = 0;   // of them still running: their files are in use
};

// Asks the application's windows to close and waits, with a bound, for the
// copies that close to end.  Only a copy that is hung or never answered is
// terminated (and waited for), and only with someone there: `unattended`, no
// copy is ever ended, and the wait for an answer is bounded, since nobody may
// be there to answer a copy's "save changes?".  One that declined or that
// shows no window to us keeps running.
ShutdownOutcome ShutDownRunningInstances(bool unattended);
