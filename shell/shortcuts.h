// Start Menu and Desktop shortcuts to the installed application.
#pragma once

#include <windows.h>

// The chosen shortcuts, for the interactive user or for all users, each made
// on a thread of its own while the caller goes on: saving a link waits for the
// shell's own work on it, and the waits overlap.  FinishShortcuts waits for them.
struct ShortcutWork {
    HANDLE threads[2];  // Start Menu, Desktop; null when not chosen or made at once
};
ShortcutWork StartShortcuts(bool startMenu, bool desktop, bool allUsers);
void FinishShortcuts(const ShortcutWork& work);

// Loads the shell and COM libraries that the shortcuts need, so that the
// installation does not wait for them; a thread's procedure.
DWORD WINAPI PreloadShortcutWork(void*);

// Saves a shell link to the remembered application path at linkPath.
bool CreateShellLink(const char* linkPath);
