// Detection and removal of a legacy 1.x installation.
#pragma once

#include "core/install_options.h"

// Finds a 1.x uninstall entry of the product; command (260 bytes) receives its
// uninstall command.  False, with command empty, when there is none.
bool FindLegacyInstallation(char* command);

// Runs the legacy uninstall command and waits, with a bound, for it and all it
// started; then makes the chosen shortcuts again, which it may have removed.
void RemoveLegacyInstallation(const char* command, const InstallOptions& options);
