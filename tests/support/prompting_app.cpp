// Stand-in for a program with unsaved work: its window answers a close request
// with a "save changes?" prompt that a person takes 8 seconds over, longer than
// a close request was ever allowed to take, and then ends with exit code 0.
// Named LumovaraRemote.exe it is a copy of the application; under any other name
// it is another program whose title merely starts like ours (a browser on the
// product's download page).
#include <windows.h>
#include <shlwapi.h>

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        SetTimer(window, 1, 8000, nullptr);
        MessageBoxA(window, "Save changes to this session?", "Unsaved changes", MB_OK);
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_TIMER || message == WM_DESTROY) {  // the timer ends the prompt's loop
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    bool application = lstrcmpiA(PathFindFileNameA(path), "LumovaraRemote.exe") == 0;
    WNDCLASSA windowClass = {0, WindowProc, 0, 0, instance};
    windowClass.lpszClassName = "PromptingApp";
    RegisterClassA(&windowClass);
    // Top left, clear of the wizard in the middle of the screen.
    CreateWindowExA(0, "PromptingApp", application ? "VEK Lumovara Remote" : "VEK Lumovara Remote - Download",
                    WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, application ? 0 : 130, 300, 120, nullptr, nullptr, instance, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
