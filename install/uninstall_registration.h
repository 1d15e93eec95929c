// The entry that lists the product among the installed programs.
#pragma once

#include <windows.h>

// Creates or opens the product's uninstall key and writes its values.  With
// no uninstallerPath (no uninstaller copy in place) the entry names no program
// to run: "UninstallString" and "QuietUninstallString" are left out, old ones
// removed, and the icon is the installed application's.  ERROR_SUCCESS, or the first failure.
DWORD WriteUninstallRegistration(const char* uninstallerPath, DWORD installedSizeKiB);
