// Where an installation lies: the folder and the three files in it, built once
// from the Program Files folder and used by every procedure that touches them.
#pragma once

#include "core/bounded_text.h"

struct InstallationLayout {
    char installDirectory[kPathCapacity];
    char application[kPathCapacity];
    char helpFile[kPathCapacity];
    char uninstaller[kPathCapacity];
};

// Fills layout from the Program Files folder.  False when that folder cannot
// be found whole or the application's path does not fit (the other paths are
// no longer than it); the layout is then all empty.
bool FindInstallationLayout(InstallationLayout* layout);
