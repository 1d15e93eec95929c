// The entry that lists the product among the installed programs.
#pragma once

#include <windows.h>

// Creates or opens the product's uninstall key and writes its eight values.
void WriteUninstallRegistration(const char* uninstallerPath, DWORD installedSizeKiB);
