// The installation procedure run by the wizard's Install button.
#pragma once

#include <windows.h>

// Installs the product; `wizard` supplies the option boxes and the progress bar.
// True exactly when the Program Files folder was found and both payload files
// were written whole.
bool InstallProduct(HWND wizard);
