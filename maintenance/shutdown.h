// Stopping running copies of the application before its files change.
#pragma once

#include <windows.h>

// Asks the application's windows to close and waits, with a bound, for the
// copies that close to end.  Only a copy that is hung or never answered is
// terminated (and waited for); one that declined or that shows no window to us
// keeps running.
void ShutDownRunningInstances();
