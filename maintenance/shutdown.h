// Stopping running copies of the application before its files change.
#pragma once

#include <windows.h>

// Asks product windows to close, waits up to ten polls, then terminates one copy.
void ShutDownRunningInstances();

// EnumWindows callback: asks a window whose title starts with the product name to close.
BOOL CALLBACK CloseProductWindow(HWND window, LPARAM context);
