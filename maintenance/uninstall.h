// The uninstall procedure.
#pragma once

// Removes the installed files, shortcuts and registration, tells the user, and
// leaves a script that deletes the uninstaller copy once the program has ended.
// When an installed file is in use and stays, the registration and the
// uninstaller copy stay too, so that the uninstall can be run again, and the
// user is told that it is incomplete.
void UninstallProduct();
