// The token of the desktop shell's process: the rights of the user at the
// desktop, without the elevation that the setup program runs with.
#pragma once

#include <windows.h>

// A copy of the token of the process that owns shellWindow, of `type` with
// `access`.  Null, with every handle closed, when the window's process or its
// token cannot be had.
HANDLE DuplicateShellToken(HWND shellWindow, DWORD access, TOKEN_TYPE type);
