// Detection and removal of a legacy 1.x installation.
#pragma once

// Finds a 1.x uninstall entry of the product; command (260 bytes) receives its
// uninstall command.  False, with command empty, when there is none.
bool FindLegacyInstallation(char* command);

// Runs the legacy uninstall command in the folder of the program it names,
// with the machine's environment, and waits, with a bound, for it and all it
// started.  It may remove files, shortcuts and settings of ours that share its
// names: the caller installs again afterwards.  False when it was not started.
bool RemoveLegacyInstallation(const char* command);
