// Stopping running copies of the application before its files change.
#pragma once

#include <windows.h>

struct ShutdownOutcome {
    int asked = 0;  // copies asked to close
    int left = 0;   // of them still running: their files are in use
};

// Asks the application's windows to close and waits, with a bound, for the
// copies that close to end.  A copy that stops taking messages (hung, or busy
// saving) is terminated only when the person answers our question about it
// that way; the question shows meanwhile and closes itself once the copy has
// answered.  `unattended`, nobody is asked, no copy is ever ended, and the wait
// for an answer is bounded, since nobody may be there to answer a copy's "save
// changes?".  A copy that runs on with no window on show (hidden in the
// notification area) is asked as the end of the session asks, and waited for
// when it agrees.  One that declined or that shows no window to us keeps
// running.
ShutdownOutcome ShutDownRunningInstances(bool unattended);
