// The uninstall procedure.
#pragma once

// Removes the installed files, shortcuts and registration, tells the user, and
// leaves a script that deletes the uninstaller copy once the program has ended.
void UninstallProduct();
