// Start Menu and Desktop shortcuts to the installed application.
#pragma once

#include <windows.h>

// One shortcut: which folder, and whose.
struct ShortcutChoice {
    bool desktop;   // the Desktop, otherwise the Start Menu's Programs folder
    bool allUsers;  // the common folder, otherwise the interactive user's own
};

// A shortcut made on a thread of its own while the caller goes on: saving a
// link waits for the shell's own work on it, and two such waits overlap.
struct ShortcutJob {
    ShortcutChoice choice = {};
    bool chosen = false;
    HANDLE worker = nullptr;
    DWORD error = ERROR_SUCCESS;  // once finished: why the link was not saved
};

// The shortcuts of the options page.
struct ShortcutWork {
    ShortcutJob startMenu;
    ShortcutJob desktop;
};

// Starts the chosen shortcuts; `work` must stay where it is until FinishShortcuts.
void StartShortcuts(ShortcutWork& work, bool startMenu, bool desktop, bool allUsers);
// Waits for them; each job's error then tells how it went.
void FinishShortcuts(ShortcutWork& work);

// Loads the shell and COM libraries that the shortcuts need, so that the
// installation does not wait for them; a thread's procedure.
DWORD WINAPI PreloadShortcutWork(void*);

// Saves a shell link to the remembered application path at linkPath; S_OK or
// the failure.
HRESULT CreateShellLink(const char* linkPath);
