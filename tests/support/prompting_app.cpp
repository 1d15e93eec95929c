// Stand-in for a copy of the application with unsaved work: its window answers
// a close request with "Save changes to this session?" (Yes, No, Cancel); Cancel
// keeps it open, as a person keeping their work would.  Named LumovaraRemote.exe
// it is a copy of the application; under any other name it is another program
// whose title merely starts like ours (a browser on the product's download page).
//   --slow-end  closes without asking and then takes 3 s to save its state
//               before it ends, with exit code 7
//   --hung      stops taking messages once its window is up
#include <windows.h>
#include <shlwapi.h>

#include <cstring>

bool slowEnd = false;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        const char* question = "Save changes to this session?";
        if (slowEnd || MessageBoxA(window, question, "Unsaved changes", MB_YESNOCANCEL) != IDCANCEL)
            DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    bool application = lstrcmpiA(PathFindFileNameA(path), "LumovaraRemote.exe") == 0;
    slowEnd = std::strstr(commandLine, "--slow-end") != nullptr;
    WNDCLASSA windowClass = {0, WindowProc, 0, 0, instance};
    windowClass.lpszClassName = "PromptingApp";
    RegisterClassA(&windowClass);
    // Top left, clear of the wizard in the middle of the screen.
    CreateWindowExA(0, "PromptingApp", application ? "VEK Lumovara Remote" : "VEK Lumovara Remote - Download",
                    WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, application ? 0 : 130, 300, 120, nullptr, nullptr, instance,
                    nullptr);
    if (std::strstr(commandLine, "--hung") != nullptr)
        Sleep(INFINITE);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    if (slowEnd)
        Sleep(3000);
    return slowEnd ? 7 : 0;
}
