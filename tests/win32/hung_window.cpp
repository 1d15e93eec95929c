// Test helper: a window titled like a copy of the product whose thread never
// answers a message, as a hung application's.  The test ends it by its handle;
// it gives up by itself after a minute in case nobody does.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "HungWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "HungWindow", "VEK Lumovara Remote (not answering)",
                                  WS_OVERLAPPEDWINDOW, 0, 0, 300, 100, nullptr, nullptr, instance,
                                  nullptr);
    if (window == nullptr)
        return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    Sleep(60000);
    return 0;
}
