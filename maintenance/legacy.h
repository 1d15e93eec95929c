// Detection and removal of a legacy 1.x installation.
#pragma once

#include <windows.h>

// Finds a 1.x uninstall entry of the product; command (260 bytes) receives its
// uninstall command.  False, with command empty, when there is none.
bool FindLegacyInstallation(char* command);

// Offers to run the legacy uninstaller, then makes the shortcuts again.
void OfferLegacyRemoval(HWND owner);
