// Stopping running copies of the application before its files change.
#pragma once

#include <windows.h>

// Asks the application's windows to close, waits up to ten polls, then
// terminates one copy.
void ShutDownRunningInstances();

// EnumWindows callback: asks a window to close when its title starts with the
// product name and it belongs to a process of the application's executable name.
BOOL CALLBACK CloseProductWindow(HWND window, LPARAM context);

// The pause after each poll that found a copy.  Tests count the pauses through
// it; the shipped program never changes it from Sleep.
extern void(WINAPI* pollPause)(DWORD milliseconds);
