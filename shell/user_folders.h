// Per-user shell folders of the interactive user, also when running as LocalSystem.
#pragma once

// Fills folderPath (260 bytes, ANSI) with the folder `csidl` of the interactive
// user.  True when folderPath holds the path.
bool ResolveInteractiveUserFolder(int csidl, char* folderPath);
