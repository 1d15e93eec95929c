// Stopping running copies of the application before its files change.
#pragma once

#include <windows.h>

// Asks product windows to close, waits up to ten polls, then terminates one copy.
void ShutDownRunningInstances();

// EnumWindows callback: asks a window whose title starts with the product name to close.
BOOL CALLBACK CloseProductWindow(HWND window, LPARAM context);

// The pause after each poll that found a copy.  Tests count the pauses through
// it; the shipped program never changes it from Sleep.
extern void(WINAPI* pollPause)(DWORD milliseconds);
