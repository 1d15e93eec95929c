// Start Menu and Desktop shortcuts to the installed application.
#pragma once

// Creates the chosen shortcuts, for the interactive user or for all users.
void CreateShortcuts(bool startMenu, bool desktop, bool allUsers);

// Saves a shell link to the remembered application path at linkPath.
bool CreateShellLink(const char* linkPath);
