// Stand-in for a copy of the application with unsaved work: its window answers
// a close request with "Save changes to this session?" (Yes, No, Cancel); Cancel
// keeps it open, as a person keeping their work would.  Named LumovaraRemote.exe
// it is a copy of the application; under any other name it is another program
// whose title merely starts like ours (a browser on the product's download page).
//   --slow-end  closes without asking and then takes 3 s to save its state
//               before it ends, with exit code 7
//   --hung      stops taking messages once its window is up
//   --busy-save N  closes without asking, saving its document (document.txt beside
//               it) inside the close handler: N lines "part k", half a second
//               apart, with no look at its queue, as an editor on a slow drive
//   --hide-on-close  hides its window on a close request and runs on, as in the
//               notification area; the session's end ends it, with exit code 5
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool slowEnd = false;
bool hideOnClose = false;
int busyParts = 0;

void SaveDocument()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    PathRemoveFileSpecA(path);
    HANDLE file = CreateFileA(lstrcatA(path, "\\document.txt"), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    for (int part = 1; part <= busyParts; Sleep(500)) {
        char line[32];
        DWORD written = 0;
        WriteFile(file, line, DWORD(std::snprintf(line, sizeof line, "part %d\r\n", part++)), &written, nullptr);
    }
    CloseHandle(file);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE && hideOnClose)
        return ShowWindow(window, SW_HIDE), 0;
    if (message == WM_ENDSESSION && wParam && hideOnClose)
        return DestroyWindow(window), 0;
    if (message == WM_CLOSE) {
        if (busyParts > 0)
            SaveDocument();
        if (slowEnd || busyParts > 0 ||
            MessageBoxA(window, "Save changes to this session?", "Unsaved changes", MB_YESNOCANCEL) != IDCANCEL)
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
    hideOnClose = std::strstr(commandLine, "--hide-on-close") != nullptr;
    if (const char* busy = std::strstr(commandLine, "--busy-save "))
        busyParts = std::atoi(busy + 12);
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
    return slowEnd ? 7 : hideOnClose ? 5 : 0;
}
