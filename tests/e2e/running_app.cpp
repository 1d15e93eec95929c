// Test program: a window titled as the command line says (the product name when
// it says nothing) that answers a close request with a "save changes?" prompt.
// The prompt goes away by itself after longer than a close request was ever
// allowed to take; the program then ends with exit code 0.
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        SetTimer(window, 1, 8000, nullptr);
        MessageBoxA(window, "Save changes to this session?", "Unsaved changes", MB_OK);
        DestroyWindow(window);
        return 0;
    case WM_TIMER:  // ends the prompt's message loop
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "RunningApp";
    RegisterClassA(&windowClass);
    // Top left, clear of the wizard in the middle of the screen.
    HWND window = CreateWindowExA(0, "RunningApp", *commandLine ? commandLine : "VEK Lumovara Remote",
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 120, nullptr,
                                  nullptr, instance, nullptr);
    MSG message;
    while (window != nullptr && GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return window != nullptr ? 0 : 1;
}
