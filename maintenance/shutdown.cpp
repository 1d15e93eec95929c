#include "maintenance/shutdown.h"

void ShutDownRunningInstances()
{
}

BOOL CALLBACK CloseProductWindow(HWND, LPARAM)
{
    return TRUE;
}
